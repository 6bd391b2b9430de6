#pragma once

#include <QWidget>

namespace tarnwick {

// The fade at the edge of a scrolling list: the window background, opaque at the list's edge and
// clear towards its middle. Clicks pass through it.
class ScrollGradientView : public QWidget {
    Q_OBJECT

public:
    ScrollGradientView(bool isFlipped, int height, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const bool m_isFlipped;
};

}  // namespace tarnwick
