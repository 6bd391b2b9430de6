#pragma once

#include "Screens/Presenters/InterfacePresenters.h"
#include "UserNotifications/DesktopNotifications.h"

namespace tarnwick {

// The connection monitor's notifications on the desktop's notification service. The service has
// a summary and a body only, so a subtitle opens the body on a line of its own.
class DesktopUserNotificationCenter final : public UserNotificationCenter {
public:
    explicit DesktopUserNotificationCenter(
        DesktopNotifications notifications = DesktopNotifications())
        : m_notifications(std::move(notifications)) {}

    void add(const UserNotification& notification, Completion completion) override;

private:
    DesktopNotifications m_notifications;
};

}  // namespace tarnwick
