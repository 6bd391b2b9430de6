#pragma once

#include "Shell/NamedColor.h"

#include <QColor>

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
};

}  // namespace tarnwick
