#include "Screens/Settings/Views/EdgeFades.h"

#include "WidgetKit/Controls/ScrollGradientView.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QWidget>

namespace tarnwick {

EdgeFades::EdgeFades(QWidget* list, int topHeight, int bottomHeight, int topPadding,
                     int bottomPadding)
    : QObject(list), m_list(list) {
    if (topHeight > 0) {
        m_top = new ScrollGradientView(true, topHeight, list);
    }
    if (bottomHeight > 0) {
        m_bottom = new ScrollGradientView(false, bottomHeight, list);
    }
    if (auto* scrolling = qobject_cast<QAbstractScrollArea*>(list)) {
        if (m_top) {
            m_top->followScrolling(scrolling, topPadding);
        }
        if (m_bottom) {
            m_bottom->followScrolling(scrolling, bottomPadding);
        }
    }
    list->installEventFilter(this);
    place();
}

bool EdgeFades::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        place();
    }
    return QObject::eventFilter(watched, event);
}

void EdgeFades::place() {
    const int width = m_list->width();
    if (m_top) {
        m_top->setGeometry(0, 0, width, m_top->height());
        m_top->raise();
    }
    if (m_bottom) {
        m_bottom->setGeometry(0, m_list->height() - m_bottom->height(), width, m_bottom->height());
        m_bottom->raise();
    }
}

}  // namespace tarnwick
