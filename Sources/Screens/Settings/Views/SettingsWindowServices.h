#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace tarnwick {

// What the settings screen takes from the window that shows it. The application fills it in from
// the main window; a screen shown on its own gets none, and keeps three grid columns and no
// promotion.
struct SettingsWindowServices {
    // The window whose width decides how many columns the country grid has.
    QPointer<QWidget> frame;
    // Shows the phone-app promotion over the window.
    std::function<void()> presentPromotion;
};

}  // namespace tarnwick
