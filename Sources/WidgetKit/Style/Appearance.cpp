#include "WidgetKit/Style/Appearance.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

namespace tarnwick {

bool Appearance::isDark() {
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

QColor Appearance::color(NamedColor color) {
    return Appearance::color(color.name);
}

QColor Appearance::color(std::string_view name) {
    const auto values = namedColorValues(name);
    if (!values) {
        qWarning("%s", values.error().c_str());
        return QColor(Qt::black);
    }
    return QColor::fromRgba(isDark() ? values->dark : values->light);
}

QColor Appearance::secondaryLabelColor(const QWidget* widget) {
    QColor color = (widget ? widget->palette() : QPalette()).color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

}  // namespace tarnwick
