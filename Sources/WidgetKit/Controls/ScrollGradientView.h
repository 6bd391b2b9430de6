#pragma once

#include <QWidget>

class QAbstractScrollArea;

namespace tarnwick {

// The fade at the edge of a scrolling list: the window background, opaque at the list's edge and
// clear towards its middle. Clicks pass through it. Following a list, it shows only while
// something is scrolled out of sight past its edge.
class ScrollGradientView : public QWidget {
    Q_OBJECT

public:
    ScrollGradientView(bool isFlipped, int height, QWidget* parent = nullptr);

    // Shown while the list's content goes on past this fade's edge; hidden where nothing
    // scrolls, so a list that fits shows no band over its rows or its empty space. A list that
    // ends in `blankPastEdge` pixels of padding on this fade's side shows no band when only that
    // padding is out of sight: its last row is all there and must not look disabled.
    void followScrolling(QAbstractScrollArea* list, int blankPastEdge = 0);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const bool m_isFlipped;
};

}  // namespace tarnwick
