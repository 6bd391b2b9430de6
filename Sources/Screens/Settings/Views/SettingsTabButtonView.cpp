#include "Screens/Settings/Views/SettingsTabButtonView.h"

#include "QtSupport/Utf8Text.h"
#include "Screens/Settings/Views/HoverProgress.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/FocusRing.h"
#include "WidgetKit/Style/Typeface.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {

constexpr int kOuterPadding = 8;
constexpr int kTextPadding = 20;

}  // namespace

SettingsTabButtonView::SettingsTabButtonView(SettingsTab tab,
                                             std::function<void(SettingsTab)> action,
                                             QWidget* parent)
    : QWidget(parent), m_tab(tab), m_label(qtext(rawValue(tab))), m_action(std::move(action)) {
    setObjectName(m_label);
    setMinimumWidth(minimumWidth + 2 * kOuterPadding);
    setFixedHeight(height);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    m_hover = new HoverProgress(this, [this](double) { update(); });
}

double SettingsTabButtonView::labelScale() const {
    return 1.0 + 0.02 * m_hover->value();
}

QSize SettingsTabButtonView::sizeHint() const {
    return QSize(minimumWidth + 2 * kOuterPadding, height);
}

void SettingsTabButtonView::setSelected(bool selected) {
    if (m_isSelected != selected) {
        m_isSelected = selected;
        update();
    }
}

QFont SettingsTabButtonView::labelFont() const {
    return Typeface::font(m_isSelected ? TextStyle::style15 : TextStyle::style14);
}

QColor SettingsTabButtonView::labelColor() const {
    return m_isSelected ? Appearance::color(NamedColor::sideBarHover())
                        : palette().color(QPalette::WindowText);
}

void SettingsTabButtonView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(rect()).adjusted(kOuterPadding + 1, 1, -kOuterPadding - 1, -1);
    QPainterPath shape;
    shape.addRoundedRect(plate, 5, 5);
    QColor background = Appearance::color(NamedColor::detectionLevelBackground());
    if (m_isSelected) {
        background.setAlphaF(0.8f);
    } else {
        background = Appearance::color(NamedColor::windowBackgroundColor());
    }
    painter.fillPath(shape, background);
    FocusRing::paintIfShown(painter, this, plate, 5);
    if (m_hover->value() > 0) {
        QColor hover = Appearance::color(NamedColor::detectionLevelBackground());
        hover.setAlphaF(static_cast<float>(0.4 * m_hover->value()));
        painter.fillPath(shape, hover);
    }
    const QPointF centre = plate.center();
    painter.translate(centre);
    painter.scale(labelScale(), labelScale());
    painter.translate(-centre);
    painter.setFont(labelFont());
    painter.setPen(labelColor());
    painter.drawText(plate.adjusted(kTextPadding, 0, -kTextPadding, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, m_label);
}

void SettingsTabButtonView::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    m_isHovered = true;
    m_hover->setHovered(true);
}

void SettingsTabButtonView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_isHovered = false;
    m_hover->setHovered(false);
}

void SettingsTabButtonView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void SettingsTabButtonView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        m_action) {
        m_action(m_tab);
    }
}

void SettingsTabButtonView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Space || event->key() == Qt::Key_Return) && m_action) {
        m_action(m_tab);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarnwick
