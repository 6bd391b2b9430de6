#include "Screens/ConnectionsMonitor/Views/ConnectionSafetyIndicator.h"

#include "QtSupport/Utf8Text.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <string>

namespace tarnwick {

namespace {

constexpr int kHeight = 21;
constexpr int kHorizontalPadding = 8;

QFont badgeFont() {
    return Typeface::font(typefaceFace::regular, 11);
}

}  // namespace

std::string_view rawValue(ConnectionSafetyIndicatorType type) {
    switch (type) {
        case ConnectionSafetyIndicatorType::compromised:
            return "Compromised";
        case ConnectionSafetyIndicatorType::blocked:
            return "Blocked";
        case ConnectionSafetyIndicatorType::safe:
            return "Safe";
    }
    return "Safe";
}

std::optional<ConnectionSafetyIndicatorType> connectionSafetyIndicatorType(std::string_view raw) {
    for (const auto type :
         {ConnectionSafetyIndicatorType::compromised, ConnectionSafetyIndicatorType::blocked,
          ConnectionSafetyIndicatorType::safe}) {
        if (rawValue(type) == raw) {
            return type;
        }
    }
    return std::nullopt;
}

ConnectionSafetyIndicator::ConnectionSafetyIndicator(ConnectionSafetyIndicatorType type,
                                                     QWidget* parent)
    : QWidget(parent), m_type(type) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ConnectionSafetyIndicator::setType(ConnectionSafetyIndicatorType type) {
    if (type != m_type) {
        m_type = type;
        updateGeometry();
        update();
    }
}

QString ConnectionSafetyIndicator::title() const {
    return qtext(rawValue(m_type));
}

QColor ConnectionSafetyIndicator::backgroundColor() const {
    return Appearance::color("connectionSafety" + std::string(rawValue(m_type)) + "BG");
}

QColor ConnectionSafetyIndicator::textColor() const {
    return Appearance::color("connectionSafety" + std::string(rawValue(m_type)) + "Text");
}

QSize ConnectionSafetyIndicator::sizeHint() const {
    return QSize(QFontMetrics(badgeFont()).horizontalAdvance(title()) + 2 * kHorizontalPadding,
                 kHeight);
}

void ConnectionSafetyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSize badge = sizeHint();
    const QRectF plate(QPointF((width() - badge.width()) / 2.0, (height() - kHeight) / 2.0),
                       QSizeF(badge));
    QPainterPath path;
    path.addRoundedRect(plate, 5, 5);
    painter.fillPath(path, backgroundColor());
    painter.setFont(badgeFont());
    painter.setPen(textColor());
    painter.drawText(plate, Qt::AlignCenter, title());
}

}  // namespace tarnwick
