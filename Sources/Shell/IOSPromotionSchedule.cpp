#include "Shell/IOSPromotionSchedule.h"

#include "Dispatch/DispatchQueue.h"
#include "Tools/SettingsKey.h"

namespace tarnwick {

IOSPromotionSchedule::Store IOSPromotionSchedule::standardSettings() {
    return Store{[] {
                     return tarnwick::Settings::value(SettingsKey::launchesCount)
                         .value_or(Value())
                         .asInteger()
                         .value_or(0);
                 },
                 [] {
                     return tarnwick::Settings::value(SettingsKey::didPresentIOSPromotion)
                         .value_or(Value())
                         .asBool()
                         .value_or(false);
                 },
                 [] { tarnwick::Settings::set(Value(true), SettingsKey::didPresentIOSPromotion); }};
}

IOSPromotionSchedule::IOSPromotionSchedule(Store settings, std::function<void()> present,
                                           Scheduler& scheduler)
    : m_settings(std::move(settings))
    , m_present(std::move(present))
    , m_scheduler(scheduler)
    , m_self(std::make_shared<IOSPromotionSchedule*>(this)) {}

IOSPromotionSchedule::~IOSPromotionSchedule() {
    *m_self = nullptr;
}

bool IOSPromotionSchedule::isDue(std::int64_t launchesCount, bool didPresent) {
    return launchesCount >= 2 && !didPresent;
}

void IOSPromotionSchedule::windowDidBecomeKey() {
    if (!isDue(m_settings.launchesCount(), m_settings.didPresent())) {
        return;
    }
    std::weak_ptr<IOSPromotionSchedule*> weak = m_self;
    DispatchQueue::main()->asyncAfter(
        delay,
        [weak] {
            if (auto self = weak.lock(); self && *self) {
                (*self)->presentIfStillDue();
            }
        },
        m_scheduler);
}

void IOSPromotionSchedule::presentIfStillDue() {
    if (m_settings.didPresent()) {
        return;
    }
    // Stored before anything shows, so the promotion is offered once even if it cannot show.
    m_settings.markPresented();
    m_present();
}

}  // namespace tarnwick
