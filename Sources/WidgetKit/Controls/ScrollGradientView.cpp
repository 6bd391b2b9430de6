#include "WidgetKit/Controls/ScrollGradientView.h"

#include "WidgetKit/Style/Appearance.h"

#include <QAbstractScrollArea>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>

namespace tarnwick {

ScrollGradientView::ScrollGradientView(bool isFlipped, int height, QWidget* parent)
    : QWidget(parent), m_isFlipped(isFlipped) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ScrollGradientView::followScrolling(QAbstractScrollArea* list, int blankPastEdge) {
    QScrollBar* bar = list->verticalScrollBar();
    const auto refresh = [this, bar, blankPastEdge] {
        // The top fade covers what is scrolled off above, the bottom one what is left below.
        const int hidden =
            m_isFlipped ? bar->value() - bar->minimum() : bar->maximum() - bar->value();
        setVisible(hidden > blankPastEdge);
    };
    connect(bar, &QScrollBar::valueChanged, this, refresh);
    connect(bar, &QScrollBar::rangeChanged, this, refresh);
    refresh();
}

void ScrollGradientView::paintEvent(QPaintEvent*) {
    const QColor opaque = Appearance::color(NamedColor::windowBackgroundColor());
    QColor clear = opaque;
    clear.setAlpha(0);
    // Not flipped: opaque at the bottom; flipped: opaque at the top.
    QLinearGradient gradient(0, m_isFlipped ? 0 : height(), 0, m_isFlipped ? height() : 0);
    gradient.setColorAt(0, opaque);
    gradient.setColorAt(1, clear);
    QPainter(this).fillRect(rect(), gradient);
}

}  // namespace tarnwick
