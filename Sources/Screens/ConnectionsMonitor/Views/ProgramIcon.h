#pragma once

#include <QPixmap>

#include <filesystem>
#include <optional>
#include <string>

namespace tarnwick {

// A program's icon at `size` points: its running bundle's icon, else the theme icon its desktop
// entry names (the entry's identifier is the bundle identifier), else the "commandLineApp" image.
// `bundlePath`, the bundle the program ran from when it was seen, is read first: the program may
// have quit since.
QPixmap programIconPixmap(const std::optional<std::string>& bundleIdentifier, int size,
                          qreal devicePixelRatio,
                          const std::optional<std::filesystem::path>& bundlePath = std::nullopt);

}  // namespace tarnwick
