#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tarnwick {

enum class OSLogType { standard, info, debug, error, fault };

// Where a process's lines go. `syslog` (the default) hands them to syslog(3). `journal` writes
// them to the systemd journal over its native socket, and to standard error where there is no
// journal: a root daemon must not lose its log on a machine without a syslog daemon.
enum class OSLogDestination { syslog, journal };

// The system log: what the link between the two programs and a few low-level failures write
// instead of the application's log file, tagged with the log's subsystem and category.
class OSLog {
public:
    static constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

    OSLog(std::string subsystem, std::string category);

    // For the whole process; `journalSocket` is replaced only by tests.
    static void setDestination(OSLogDestination destination,
                               std::string journalSocket = kJournalSocket);

    // The log without subsystem or category.
    static const OSLog& defaultLog();

    void log(OSLogType type, std::string_view message) const;

    const std::string& subsystem() const { return m_subsystem; }
    const std::string& category() const { return m_category; }

    // Receives every line as well as the destination does.
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
