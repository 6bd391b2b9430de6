#pragma once

#include <QPixmap>

#include <string>

namespace tarnwick {

// A picture of the desktop's icon theme, found and read by us rather than by QIcon::fromTheme: Qt
// opens a theme file the plain way when it paints, and a FIFO that any program of the user plants
// under a theme folder would then hold the window for good. Only regular files of bounded size are
// read, without waiting, and their bytes go to the image reader. Qt's own search paths (the
// platform's, or a test's) follow the standard ones. Null when the theme has no such icon.
class ThemeIcon {
public:
    static QPixmap pixmap(const std::string& name, int side);
};

}  // namespace tarnwick
