#include "Screens/Settings/Views/SettingsCountryCellView.h"

#include "Screens/Settings/Views/CountryGridModel.h"
#include "Screens/Settings/Views/RimmedPlate.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QPainter>

#include <algorithm>

namespace tarnwick {

void SettingsCountryCellView::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    const bool selected = index.data(CountryGridModel::isSelectedRole).toBool();
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF cell = QRectF(option.rect).adjusted(4, verticalPadding, -4, -verticalPadding);
    QColor rim = Appearance::color(NamedColor::buttonColor());
    rim.setAlphaF(selected ? 0.7f : 0.0f);
    paintRimmedPlate(*painter, cell, 12, 10, rim, hovered ? 0.98 : 1.0);
    QFont font = Typeface::font(typefaceFace::light, 14);
    font.setWeight(selected ? QFont::DemiBold : QFont::Light);
    painter->setFont(font);
    painter->setPen(selected ? Appearance::color(NamedColor::buttonColor())
                             : option.palette.color(QPalette::WindowText));
    const QRectF text = cell.adjusted(10, 0, -10, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight,
                                                        static_cast<int>(text.width())));
    painter->restore();
}

QSize SettingsCountryCellView::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return QSize(std::max(m_cellWidth, 100), cellHeight + 2 * verticalPadding);
}

}  // namespace tarnwick
