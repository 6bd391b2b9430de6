#pragma once

#include <QDBusConnection>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// Shows notifications through org.freedesktop.Notifications. Calls never block: each is sent
// asynchronously and answered on the thread of the Qt event loop that made this object, within
// a bounded time, so a missing or hung service is an error, never a wait.
class DesktopNotifications {
public:
    struct Notification {
        std::string summary;
        // Plain text: shown as written, markup or not.
        std::string body;
        // Shown this long after it is posted.
        std::chrono::milliseconds delay{0};
        // Asks the service for the desktop's sound for a new message.
        bool playsDefaultSound = false;
    };
    // The service's error, or nothing when it took the notification.
    using Completion = std::function<void(const std::optional<std::string>& error)>;

    static constexpr std::chrono::milliseconds kCallTimeout{5000};

    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  std::string applicationName = "Tarnwick",
                                  std::chrono::milliseconds callTimeout = kCallTimeout);

    void post(const Notification& notification, Completion completion) const;

private:
    void send(const Notification& notification, Completion completion) const;

    QDBusConnection m_bus;
    std::string m_applicationName;
    std::chrono::milliseconds m_callTimeout;
};

}  // namespace tarnwick
