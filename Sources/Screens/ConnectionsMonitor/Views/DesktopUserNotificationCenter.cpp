#include "Screens/ConnectionsMonitor/Views/DesktopUserNotificationCenter.h"

#include <chrono>

namespace tarnwick {

void DesktopUserNotificationCenter::add(const UserNotification& notification,
                                        Completion completion) {
    std::string body = notification.body;
    if (!notification.subtitle.empty()) {
        body = notification.subtitle + (body.empty() ? "" : "\n" + body);
    }
    const auto delay =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(
            notification.delaySeconds > 0 ? notification.delaySeconds : 0.0));
    m_notifications.post({notification.title, body, delay, notification.playsDefaultSound},
                         [completion = std::move(completion)](const auto& error) {
                             if (completion) {
                                 completion(error);
                             }
                         });
}

}  // namespace tarnwick
