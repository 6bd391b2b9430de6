#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// The small doors through which the screen models reach the interface. The Qt layer implements
// them; tests replace them. All are called on the main queue and return at once.

// An alert made from an error (a failed system-extension request).
class ErrorAlertPresenter {
public:
    virtual ~ErrorAlertPresenter() = default;
    virtual void presentError(const std::string& message) = 0;
};

// The first-time explanation before the extension is activated, as a sheet of the main window.
// False when there is no main window to show it on; `onContinue` runs once when the user goes on.
class SheetPresenter {
public:
    virtual ~SheetPresenter() = default;
    virtual bool presentSystemExtensionExplanation(std::function<void()> onContinue) = 0;
    // The same, with a way out: `onCancel` runs once when the user dismisses the explanation
    // instead. A presenter without one shows the explanation that only goes on.
    virtual bool presentDismissableSystemExtensionExplanation(std::function<void()> onContinue,
                                                              std::function<void()> onCancel) {
        (void)onCancel;
        return presentSystemExtensionExplanation(std::move(onContinue));
    }
};

// Opens a URL in the desktop's handler.
class URLOpener {
public:
    virtual ~URLOpener() = default;
    virtual bool open(const std::string& url) = 0;
};

// One user notification, shown `delaySeconds` after it is added.
struct UserNotification {
    std::string identifier;
    std::string title;
    std::string subtitle;
    std::string body;
    double delaySeconds = 0;
    // With the desktop's default sound.
    bool playsDefaultSound = false;
};

// The desktop's notification service. A failure comes back as its description.
class UserNotificationCenter {
public:
    using Completion = std::function<void(const std::optional<std::string>& error)>;
    virtual ~UserNotificationCenter() = default;
    virtual void add(const UserNotification& notification, Completion completion) = 0;
};

}  // namespace tarnwick
