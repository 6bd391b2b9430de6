#pragma once

#include <QPixmap>

#include <optional>
#include <string>

namespace tarnwick {

// A program's icon at `size` points: its running bundle's icon, else the theme icon its desktop
// entry names (the entry's identifier is the bundle identifier), else the "commandLineApp" image.
QPixmap programIconPixmap(const std::optional<std::string>& bundleIdentifier, int size,
                          qreal devicePixelRatio);

}  // namespace tarnwick
