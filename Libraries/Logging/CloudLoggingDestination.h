#pragma once

#include "BaseDestination.h"

#include <string>

namespace tarnwick {

// Writes every accepted entry as one JSON object on one line of standard output, for a cloud
// logging service that collects a program's output: the service name, the message, a severity
// word and the source location, and the "httpRequest" object and "user" text when the entry's
// context (a key/value object) carries them. It always writes synchronously, so a line is out
// before the log call returns. An entry that cannot be written as JSON becomes a CRITICAL line that
// keeps its source location.
class CloudLoggingDestination : public BaseDestination {
public:
    explicit CloudLoggingDestination(std::string serviceName,
                                     const WallClock& clock = WallClock::system());

    const std::string& serviceName() const { return m_serviceName; }

    // Always false; setting it changes nothing.
    bool asynchronously() const override { return false; }
    void setAsynchronously(bool) override {}

    std::optional<std::string> send(LogLevel level, const std::string& message,
                                    const std::string& thread, const std::string& file,
                                    const std::string& function, long line,
                                    const LogValue& context) override;

    static const char* severity(LogLevel level);
    // The line that stands in for an entry that cannot be written as JSON.
    static std::string failureLine(const std::string& file, const std::string& function, long line);

private:
    const std::string m_serviceName;
};

}  // namespace tarnwick
