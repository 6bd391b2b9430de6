#include "Screens/Settings/Views/AllowDenyListCellView.h"

#include "Screens/Settings/Views/RimmedPlate.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QPainter>

namespace tarnwick {

namespace {

constexpr int kIconInset = 10 + 8;
constexpr int kArrowHeight = 15;
constexpr int kTrashHeight = 18;

QRect iconRect(const QRect& plate, bool leading, int height) {
    const int x = leading ? plate.left() + kIconInset : plate.right() - kIconInset - height;
    return QRect(x, plate.center().y() - height / 2, height, height);
}

}  // namespace

AllowDenyListCellView::AllowDenyListCellView(bool isAllow, QObject* parent)
    : QStyledItemDelegate(parent), m_isAllow(isAllow) {}

QRect AllowDenyListCellView::plateRect(const QRect& itemRect) const {
    return itemRect.adjusted(0, verticalPadding, 0, -verticalPadding);
}

QRect AllowDenyListCellView::arrowRect(const QRect& itemRect) const {
    return iconRect(plateRect(itemRect), !m_isAllow, kArrowHeight);
}

QRect AllowDenyListCellView::trashRect(const QRect& itemRect) const {
    return iconRect(plateRect(itemRect), m_isAllow, kTrashHeight);
}

AllowDenyListCellView::Part AllowDenyListCellView::partAt(const QRect& itemRect,
                                                          const QPoint& point) const {
    if (arrowRect(itemRect).adjusted(-4, -4, 4, 4).contains(point)) {
        return Part::arrow;
    }
    if (trashRect(itemRect).adjusted(-4, -4, 4, 4).contains(point)) {
        return Part::trash;
    }
    return plateRect(itemRect).contains(point) ? Part::row : Part::none;
}

QString AllowDenyListCellView::toolTip(Part part) const {
    switch (part) {
        case Part::arrow:
            return m_isAllow ? QStringLiteral("Move to Deny list")
                             : QStringLiteral("Move to Allow list");
        case Part::trash:
            return QStringLiteral("Remove");
        default:
            return {};
    }
}

void AllowDenyListCellView::setHovered(const QModelIndex& row, bool isDeleteHovered) {
    m_hoveredRow = row;
    m_isDeleteHovered = row.isValid() && isDeleteHovered;
}

void AllowDenyListCellView::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const bool hovered = m_hoveredRow.isValid() && m_hoveredRow == index;
    const QColor accent = Appearance::color(NamedColor::buttonColor());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor rim = accent;
    rim.setAlphaF(hovered ? 0.7f : 0.0f);
    paintRimmedPlate(*painter, plateRect(option.rect), 14, 12, rim, hovered ? 0.99 : 1.0);

    const QColor primary = option.palette.color(QPalette::WindowText);
    const QRect plate = plateRect(option.rect);
    const QRect arrow = arrowRect(option.rect);
    const QRect trash = trashRect(option.rect);
    const QString title = index.data().toString();
    if (!title.isEmpty()) {
        painter->setFont(Typeface::font(typefaceFace::light, 14));
        painter->setPen(hovered ? accent : primary);
        const int side = kIconInset + kTrashHeight + 8;
        const QRect text = plate.adjusted(side, 0, -side, 0);
        // Two lines fit the row; only a title longer than that is shortened.
        const QFontMetrics metrics = painter->fontMetrics();
        const bool fits =
            metrics.boundingRect(text, Qt::AlignCenter | Qt::TextWordWrap, title).height() <=
            text.height();
        painter->drawText(
            text, Qt::AlignCenter | Qt::TextWordWrap,
            fits ? title : metrics.elidedText(title, Qt::ElideMiddle, 2 * text.width()));
    }
    if (hovered) {
        const qreal ratio = painter->device()->devicePixelRatioF();
        painter->drawPixmap(arrow, ImageAsset::tinted(m_isAllow ? "arrow.right" : "arrow.left",
                                                      arrow.size(), accent, ratio));
        const QColor trashColor =
            m_isDeleteHovered ? Appearance::color(NamedColor::close()) : accent;
        QRectF trashArea = trash;
        if (m_isDeleteHovered) {
            const QPointF centre = trashArea.center();
            trashArea.setSize(trashArea.size() * 1.05);
            trashArea.moveCenter(centre);
        }
        painter->drawPixmap(trashArea.toRect(),
                            ImageAsset::tinted("trash", trash.size(), trashColor, ratio));
    }
    painter->restore();
}

QSize AllowDenyListCellView::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return QSize(50, rowHeight + 2 * verticalPadding);
}

}  // namespace tarnwick
