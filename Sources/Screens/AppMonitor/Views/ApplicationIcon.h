#pragma once

#include <QIcon>

#include <cstddef>

namespace tarnwick {

class PUApplication;
class Workspace;

// The picture of a found application: the icon the scan found for it; else the icon of the very
// bundle that was scanned (its .icns); for a desktop application, its entry's Icon: a name in the
// icon theme or the image file it names; else the desktop's generic application icon.
class ApplicationIcon {
public:
    static constexpr std::size_t maximumImageFileBytes = 4 * 1024 * 1024;
    // The largest an icon is shown (the uninstall pop-up's), the size a theme icon is read for.
    static constexpr int largestSide = 96;

    static QIcon of(const PUApplication& application, const Workspace& workspace);
    static QIcon of(const PUApplication& application);
    static QIcon generic();
    // The application's own icon only; null when it has none.
    static QIcon own(const PUApplication& application, const Workspace& workspace);
};

}  // namespace tarnwick
