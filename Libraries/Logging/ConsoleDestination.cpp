#include "ConsoleDestination.h"

#include "OSLog/OSLog.h"

namespace tarnwick {

namespace {

const LevelColor kHearts{"💜 ", "💚 ", "💙 ", "💛 ", "❤️ "};

}  // namespace

ConsoleDestination::ConsoleDestination(const WallClock& clock) : BaseDestination(clock) {
    setLevelColor(kHearts);
}

std::optional<std::string> ConsoleDestination::send(LogLevel level, const std::string& message,
                                                    const std::string& thread,
                                                    const std::string& file,
                                                    const std::string& function, long line,
                                                    const LogValue& context) {
    auto text = BaseDestination::send(level, message, thread, file, function, line, context);
    if (!text) {
        return std::nullopt;
    }
    if (m_useNSLog) {
        osLog(*text);
    } else {
        printLine(*text);
    }
    return text;
}

void ConsoleDestination::setUseTerminalColors(bool value) {
    m_useTerminalColors = value;
    if (value) {
        setReset(LevelColor::terminalReset);
        setEscape(LevelColor::terminalEscape);
        setLevelColor(LevelColor::terminal());
    } else {
        setLevelColor(kHearts);
    }
}

}  // namespace tarnwick
