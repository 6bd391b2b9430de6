#pragma once

#include "WidgetKit/TextStyle.h"

#include <QColor>
#include <QLabel>

#include <string_view>

namespace tarnwick {

// A label of the settings screens in one face and size of the display typeface, with the line
// spacing the screens use.
QLabel* makeSettingsLabel(const QString& text, std::string_view face, double size, QWidget* parent);
// The primary label colour at an opacity, as the secondary texts use it.
QColor fadedTextColor(const QWidget* widget, double opacity);
void setTextColor(QWidget* widget, const QColor& color);

}  // namespace tarnwick
