#include "Screens/AppMonitor/Views/NoNetworkLabel.h"

#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QPainter>
#include <QVariantAnimation>

namespace tarnwick {

NoNetworkLabel::NoNetworkLabel(QWidget* parent)
    : QWidget(parent), m_text(QStringLiteral("⚠ Connect to the network for better scan results")) {
    setObjectName(QStringLiteral("NoNetworkLabel"));
    setAttribute(Qt::WA_Hover);
    setFont(Typeface::font(typefaceFace::regular, 12));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_transition = new QVariantAnimation(this);
    m_transition->setDuration(transitionMilliseconds);
    // Critically damped: it settles without overshooting.
    m_transition->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_transition, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_scale = value.toDouble();
        update();
    });
    connect(m_transition, &QVariantAnimation::finished, this, [this] {
        m_scale = m_isShowing ? 1.0 : 0.0;
        update();
    });
}

QSize NoNetworkLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text) + trailingPadding + 4, metrics.height() + 8};
}

void NoNetworkLabel::setNetworkStatus(bool networkStatus) {
    const bool show = !networkStatus;
    if (show == m_isShowing) {
        return;
    }
    m_isShowing = show;
    m_transition->stop();
    m_transition->setStartValue(show ? 0.1 : std::max(m_scale, 0.1));
    m_transition->setEndValue(show ? 1.0 : 0.1);
    // Hidden widgets do not animate: they take the end state at once.
    if (isVisible()) {
        m_transition->start();
    } else {
        m_scale = show ? 1.0 : 0.0;
        update();
    }
}

void NoNetworkLabel::paintEvent(QPaintEvent*) {
    if (m_scale <= 0.0 || (!m_isShowing && m_transition->state() != QAbstractAnimation::Running)) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area = QRectF(rect()).adjusted(0, 0, -trailingPadding, 0);
    const double scale = m_scale * (m_isHovered ? 1.01 : 1.0);
    // Scaled about the trailing edge's middle, where it grows from.
    const QPointF anchor(area.right(), area.center().y());
    painter.translate(anchor);
    painter.scale(scale, scale);
    painter.translate(-anchor);
    QColor colour = Appearance::color(NamedColor::close());
    colour.setAlphaF(m_isHovered ? 1.0f : 0.9f);
    painter.setPen(colour);
    painter.setFont(font());
    painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, m_text);
}

void NoNetworkLabel::enterEvent(QEnterEvent* event) {
    m_isHovered = true;
    update();
    QWidget::enterEvent(event);
}

void NoNetworkLabel::leaveEvent(QEvent* event) {
    m_isHovered = false;
    update();
    QWidget::leaveEvent(event);
}

}  // namespace tarnwick
