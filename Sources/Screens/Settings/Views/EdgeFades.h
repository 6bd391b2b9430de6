#pragma once

#include <QObject>

class QWidget;

namespace tarnwick {

class ScrollGradientView;

// Fading bands laid over the top and bottom edges of a scrolling list, kept on the list's edges
// as it resizes. A height of 0 leaves that edge without a band. A list padded at its top or bottom
// names the padding, so that no band shows while only padding is out of sight.
class EdgeFades : public QObject {
    Q_OBJECT

public:
    EdgeFades(QWidget* list, int topHeight, int bottomHeight, int topPadding = 0,
              int bottomPadding = 0);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget* m_list;
    ScrollGradientView* m_top = nullptr;
    ScrollGradientView* m_bottom = nullptr;
};

}  // namespace tarnwick
