#pragma once

#include <QStyledItemDelegate>

namespace tarnwick {

// Draws one cell of the target-country grid: the country's flag and name on a plate, with a
// coloured rim and coloured, heavier text while the cell is selected, a little smaller while
// hovered. The grid has hundreds of cells, so they are painted rather than made as widgets.
class SettingsCountryCellView : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int cellHeight = 30;
    static constexpr int verticalPadding = 10;

    using QStyledItemDelegate::QStyledItemDelegate;

    // Cells fill their grid column.
    void setCellWidth(int width) { m_cellWidth = width; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_cellWidth = 100;
};

}  // namespace tarnwick
