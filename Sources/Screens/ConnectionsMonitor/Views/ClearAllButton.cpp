#include "Screens/ConnectionsMonitor/Views/ClearAllButton.h"

#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/Views/ViewSupport.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

namespace {

QFont buttonFont() {
    return Typeface::font(typefaceFace::regular, 12);
}

const QString kTitle = qtext(InterfaceText::clearAll);

}  // namespace

ClearAllButton::ClearAllButton(std::function<void()> action, QWidget* parent)
    : QWidget(parent), m_action(std::move(action)) {
    setObjectName(QStringLiteral("ClearAllButton"));
    setToolTip(QStringLiteral("Clear all results and start over"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ClearAllButton::sizeHint() const {
    const QFontMetrics metrics(buttonFont());
    // Room for the 1.03 growth under the pointer.
    return QSize(metrics.horizontalAdvance(kTitle) + 40 + 4, metrics.height() + 12 + 2);
}

void ClearAllButton::click() {
    if (m_action) {
        m_action();
    }
}

void ClearAllButton::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    m_isHovered = true;
    update();
}

void ClearAllButton::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_isHovered = false;
    update();
}

void ClearAllButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        click();
    }
}

void ClearAllButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = m_isHovered ? 1.03 : 1.0;
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
    const QRectF plate = QRectF(rect()).adjusted(2, 1, -2, -1);
    QPainterPath path;
    path.addRoundedRect(plate, 16, 16);
    QColor background = Appearance::color(NamedColor::detectionLevelBackground());
    background.setAlphaF(float(background.alphaF() * (m_isHovered ? 1.0 : 0.9)));
    painter.fillPath(path, background);
    painter.setFont(buttonFont());
    painter.setPen(Appearance::secondaryLabelColor(this));
    painter.drawText(plate, Qt::AlignCenter, kTitle);
}

}  // namespace tarnwick
