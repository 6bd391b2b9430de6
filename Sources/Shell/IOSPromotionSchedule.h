#pragma once

#include "Dispatch/Scheduler.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace tarnwick {

// When the main window offers the phone-app promotion: from the second launch on, two seconds
// after it becomes key, once. The flag is checked again when the delay ends, so a window that
// becomes key twice within the delay still offers it once.
class IOSPromotionSchedule {
public:
    static constexpr Scheduler::Duration delay = std::chrono::seconds(2);

    struct Store {
        std::function<std::int64_t()> launchesCount;
        std::function<bool()> didPresent;
        std::function<void()> markPresented;
    };
    // The application's settings keys.
    static Store standardSettings();

    IOSPromotionSchedule(Store settings, std::function<void()> present,
                         Scheduler& scheduler = Scheduler::system());
    ~IOSPromotionSchedule();

    static bool isDue(std::int64_t launchesCount, bool didPresent);

    // The window became key.
    void windowDidBecomeKey();

private:
    void presentIfStillDue();

    Store m_settings;
    std::function<void()> m_present;
    Scheduler& m_scheduler;
    std::shared_ptr<IOSPromotionSchedule*> m_self;
};

}  // namespace tarnwick
