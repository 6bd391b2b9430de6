#include "WidgetKit/Controls/ClickableIconView.h"

#include "WidgetKit/Layout/EdgeLayout.h"
#include "WidgetKit/Style/ImageAsset.h"

#include <QMouseEvent>
#include <QPainter>

namespace tarnwick {

ClickableIconView::ClickableIconView(QWidget* parent)
    : QWidget(parent), m_iconView(new QLabel(this)) {
    m_iconView->setAlignment(Qt::AlignCenter);
    m_iconView->setAttribute(Qt::WA_TransparentForMouseEvents);
    EdgeLayout::autoPinEdgesToSuperviewEdges(m_iconView);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("button"));
}

void ClickableIconView::setIcon(std::string_view imageName) {
    m_icon = std::string(imageName);
    refreshIcon();
}

void ClickableIconView::setIconColor(const QColor& color) {
    m_iconColor = color;
    refreshIcon();
}

void ClickableIconView::refreshIcon() {
    if (m_icon.empty() || width() <= 0 || height() <= 0) {
        m_iconView->clear();
        return;
    }
    const QSize natural = ImageAsset::naturalSize(m_icon);
    const QSize size =
        natural.isEmpty() ? this->size() : natural.scaled(this->size(), Qt::KeepAspectRatio);
    const qreal ratio = devicePixelRatioF();
    m_iconView->setPixmap(m_iconColor.isValid()
                              ? ImageAsset::tinted(m_icon, size, m_iconColor, ratio)
                              : ImageAsset::pixmap(m_icon, size, ratio));
}

void ClickableIconView::setPressed(bool pressed) {
    if (m_isPressed != pressed) {
        m_isPressed = pressed;
        refreshIcon();
    }
}

void ClickableIconView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setPressed(true);
}

void ClickableIconView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        setPressed(rect().contains(event->position().toPoint()));
    }
}

void ClickableIconView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    setPressed(false);
    if (inside && onClick) {
        onClick();
    }
}

void ClickableIconView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refreshIcon();
}

}  // namespace tarnwick
