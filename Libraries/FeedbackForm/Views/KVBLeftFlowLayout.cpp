#include "KVBLeftFlowLayout.h"

#include <QWidget>

namespace tarnwick {

KVBLeftFlowLayout::KVBLeftFlowLayout(QWidget* parent) : QLayout(parent) {
    setContentsMargins(0, 0, 0, 0);
}

KVBLeftFlowLayout::~KVBLeftFlowLayout() {
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void KVBLeftFlowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
}

QLayoutItem* KVBLeftFlowLayout::itemAt(int index) const {
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* KVBLeftFlowLayout::takeAt(int index) {
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

QList<QRect> KVBLeftFlowLayout::frames(int width) const {
    QList<QRect> result;
    int x = 0;
    int y = 0;
    int previousHeight = 0;
    bool hasPrevious = false;
    for (QLayoutItem* item : m_items) {
        QSize size = item->sizeHint();
        size.setWidth(std::min(size.width(), std::max(width, 0)));
        if (hasPrevious && x + size.width() > width) {
            x = 0;
            y += previousHeight + lineSpacing;
        }
        result.append(QRect(QPoint(x, y), size));
        x += size.width() + interItemSpacing;
        previousHeight = size.height();
        hasPrevious = true;
    }
    return result;
}

int KVBLeftFlowLayout::heightForWidth(int width) const {
    QRect united;
    for (const QRect& frame : frames(width)) {
        united = united.united(frame);
    }
    return std::max(united.bottom() + 1, 20);
}

QSize KVBLeftFlowLayout::sizeHint() const {
    return minimumSize();
}

QSize KVBLeftFlowLayout::minimumSize() const {
    return {0, 20};
}

void KVBLeftFlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const QList<QRect> placed = frames(rect.width());
    for (int i = 0; i < m_items.size(); ++i) {
        m_items[i]->setGeometry(placed[i].translated(rect.topLeft()));
    }
}

}  // namespace tarnwick
