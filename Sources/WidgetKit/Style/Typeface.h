#pragma once

#include "WidgetKit/TextStyle.h"

#include <QFont>

#include <string_view>

namespace tarnwick {

// The display typeface. Its five faces come from the system's Inter Display fonts, registered
// with Qt on first use; without them the faces fall back to the default family at the face's
// weight, so text still shows.
class Typeface {
public:
    static QFont font(TextStyle style);
    static QFont font(std::string_view face, double pointSize);
    // Whether the face's font file was found and registered.
    static bool hasFace(std::string_view face);
};

}  // namespace tarnwick
