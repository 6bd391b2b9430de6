#include "OSLog.h"

#include <algorithm>
#include <mutex>
#include <syslog.h>

namespace tarnwick {

namespace {

// Never destroyed: detached threads may still log while the process exits.
struct ObserverSlot {
    std::mutex mutex;
    OSLog::Observer observer;
};

ObserverSlot& observerSlot() {
    static auto* slot = new ObserverSlot;
    return *slot;
}

int priorityOf(OSLogType type) {
    switch (type) {
        case OSLogType::standard:
            return LOG_NOTICE;
        case OSLogType::info:
            return LOG_INFO;
        case OSLogType::debug:
            return LOG_DEBUG;
        case OSLogType::error:
            return LOG_ERR;
        case OSLogType::fault:
            return LOG_CRIT;
    }
    return LOG_NOTICE;
}

}  // namespace

OSLog::OSLog(std::string subsystem, std::string category)
    : m_subsystem(std::move(subsystem)), m_category(std::move(category)) {}

const OSLog& OSLog::defaultLog() {
    static const auto* log = new OSLog("", "");
    return *log;
}

void OSLog::log(OSLogType type, std::string_view message) const {
    const int length = static_cast<int>(std::min<std::size_t>(message.size(), 1 << 20));
    // The message is always an argument, never the format, so a "%" in it is written as it is.
    if (m_subsystem.empty() && m_category.empty()) {
        ::syslog(LOG_USER | priorityOf(type), "%.*s", length, message.data());
    } else {
        ::syslog(LOG_USER | priorityOf(type), "[%s:%s] %.*s", m_subsystem.c_str(),
                 m_category.c_str(), length, message.data());
    }
    auto& slot = observerSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.observer) {
        slot.observer(*this, type, message);
    }
}

void OSLog::setObserverForTesting(Observer observer) {
    auto& slot = observerSlot();
    std::lock_guard lock(slot.mutex);
    slot.observer = std::move(observer);
}

}  // namespace tarnwick
