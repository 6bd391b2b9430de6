#pragma once

#include "WidgetKit/NamedColor.h"

#include <QColor>

class QWidget;

namespace tarnwick {

// Light or dark appearance, read from the application palette's window lightness (Qt 6.4 has no
// colour-scheme signal), and the named colours resolved for it.
class Appearance {
public:
    static bool isDark();
    // The colour for the current appearance; a name missing from the catalogue gives black and a
    // warning, so a typo shows at once without stopping the application.
    static QColor color(NamedColor color);
    static QColor color(std::string_view name);
    // The secondary label colour: the widget's window text (the application's without a widget),
    // faded, so it follows the appearance and any palette the widget was given.
    static QColor secondaryLabelColor(const QWidget* widget);
};

}  // namespace tarnwick
