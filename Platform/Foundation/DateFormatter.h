#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// Formats moments with Unicode date-field patterns ("yyyy-MM-dd HH:mm:ss.SSS") in the user's
// locale and calendar. One formatter is reused for many moments; it is not thread-safe.
class DateFormatter {
public:
    DateFormatter();
    ~DateFormatter();
    DateFormatter(const DateFormatter&) = delete;
    DateFormatter& operator=(const DateFormatter&) = delete;

    void setDateFormat(const std::string& pattern);
    // A zone named by identifier ("Europe/Berlin") or abbreviation ("UTC"). Nothing, or a name
    // that no zone has, means the local zone.
    void setTimeZone(const std::optional<std::string>& name);
    // A calendar identifier such as "gregorian"; empty means the user's calendar.
    void setCalendar(const std::string& identifier);

    std::string string(std::chrono::system_clock::time_point moment);

    // Makes `identifier` the local zone of every formatter made afterwards.
    // Used for testing only
    static void setLocalTimeZoneForTesting(const std::string& identifier);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tarnwick
