#pragma once

#include "BaseDestination.h"

namespace tarnwick {

// Writes each accepted entry as one line to standard output, or to the system log. Levels are
// marked with coloured hearts, or with terminal colours when asked.
class ConsoleDestination : public BaseDestination {
public:
    explicit ConsoleDestination(const WallClock& clock = WallClock::system());

    int defaultHashValue() const override { return 1; }

    std::optional<std::string> send(LogLevel level, const std::string& message,
                                    const std::string& thread, const std::string& file,
                                    const std::string& function, long line,
                                    const LogValue& context) override;

    bool useNSLog() const { return m_useNSLog; }
    void setUseNSLog(bool value) { m_useNSLog = value; }
    bool useTerminalColors() const { return m_useTerminalColors; }
    void setUseTerminalColors(bool value);

private:
    bool m_useNSLog = false;
    bool m_useTerminalColors = false;
};

}  // namespace tarnwick
