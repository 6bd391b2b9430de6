#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarnwick {

class PUApplication;

// The picture of a found application: its own icon when the scan found one, else the desktop's
// generic application icon from the icon theme, else the style's generic file icon.
class ApplicationIcon {
public:
    static QIcon of(const PUApplication& application);
    static QIcon generic();
    // The application's own icon only; null when it has none or its PNG does not decode.
    static QIcon own(const PUApplication& application);
};

}  // namespace tarnwick
