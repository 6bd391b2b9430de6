#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace tarnwick {

// Draws one row of an allow or deny list: the entry's title on a plate between a trash icon and
// an arrow towards the other list, which show only while the pointer is over the row. In the
// allow list the trash is on the left and the arrow on the right, pointing right; in the deny
// list the reverse. The list tells it which row and icon the pointer is over.
class AllowDenyListCellView : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum class Part { none, row, arrow, trash };

    static constexpr int rowHeight = 42;
    static constexpr int verticalPadding = 14;

    AllowDenyListCellView(bool isAllow, QObject* parent = nullptr);

    bool isAllow() const { return m_isAllow; }
    // The part of the row at a point in the row's rectangle (as the view lays the row out).
    Part partAt(const QRect& itemRect, const QPoint& point) const;
    QRect arrowRect(const QRect& itemRect) const;
    QRect trashRect(const QRect& itemRect) const;
    QString toolTip(Part part) const;

    void setHovered(const QModelIndex& row, bool isDeleteHovered);
    QModelIndex hoveredRow() const { return m_hoveredRow; }
    bool isDeleteHovered() const { return m_isDeleteHovered; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QRect plateRect(const QRect& itemRect) const;

    const bool m_isAllow;
    QPersistentModelIndex m_hoveredRow;
    bool m_isDeleteHovered = false;
};

}  // namespace tarnwick
