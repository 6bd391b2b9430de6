#pragma once

#include <QPixmap>
#include <QSize>

#include <string_view>

namespace tarnwick {

// The flag of a two-letter region code, drawn from its flag emoji in the colour emoji font and
// scaled to fit `size`. A null pixmap for anything but two ASCII letters.
QPixmap flagImage(std::string_view countryCode, QSize size);

}  // namespace tarnwick
