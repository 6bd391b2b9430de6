#include "WidgetKit/Controls/CustomDisclosureButtonOutlineView.h"

#include "WidgetKit/Controls/ImageAlignmableCell.h"

#include <QPainter>
#include <QStyleOption>

namespace tarnwick {

CustomDisclosureButtonOutlineView::CustomDisclosureButtonOutlineView(QWidget* parent)
    : QTreeView(parent) {
    setFrameShape(QFrame::NoFrame);
}

QRect CustomDisclosureButtonOutlineView::disclosureRect(const QRect& branchArea) const {
    // The triangle's column is the last indentation step before the row's content.
    const int step = indentation();
    const QRect column(branchArea.right() + 1 - step, branchArea.top(), step, branchArea.height());
    return ImageAlignmableCell::imageRectForBounds(column, QSize(step, step));
}

void CustomDisclosureButtonOutlineView::drawBranches(QPainter* painter, const QRect& rect,
                                                     const QModelIndex& index) const {
    if (!model() || !model()->hasChildren(index)) {
        return;
    }
    QStyleOption option;
    option.initFrom(this);
    option.rect = disclosureRect(rect);
    option.state = QStyle::State_Item | QStyle::State_Children;
    if (isExpanded(index)) {
        option.state |= QStyle::State_Open;
    }
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, painter, this);
}

}  // namespace tarnwick
