#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tarnwick {

enum class OSLogType { standard, info, debug, error, fault };

// The system log: what the link between the two programs and a few low-level failures write
// instead of the application's log file. Lines go to syslog(3), which the journal collects,
// tagged with the log's subsystem and category.
class OSLog {
public:
    OSLog(std::string subsystem, std::string category);

    // The log without subsystem or category.
    static const OSLog& defaultLog();

    void log(OSLogType type, std::string_view message) const;

    const std::string& subsystem() const { return m_subsystem; }
    const std::string& category() const { return m_category; }

    // Receives every line as well as syslog does.
    // Used for testing only
    using Observer = std::function<void(const OSLog&, OSLogType, std::string_view)>;
    static void setObserverForTesting(Observer observer);

private:
    std::string m_subsystem;
    std::string m_category;
};

inline void osLog(std::string_view message, OSLogType type = OSLogType::standard,
                  const OSLog& log = OSLog::defaultLog()) {
    log.log(type, message);
}

}  // namespace tarnwick
