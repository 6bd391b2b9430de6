#include "ContextLog.h"

namespace tarnwick {

ContextLog::Origin ContextLog::origin(LogLevel level) {
    switch (level) {
        case LogLevel::verbose:
        case LogLevel::debug:
            return {__FILE__, "debug(_:contextType:)", 55};
        case LogLevel::info:
            return {__FILE__, "info(_:contextType:)", 59};
        case LogLevel::warning:
            return {__FILE__, "warning(_:contextType:)", 63};
        case LogLevel::error:
            break;
    }
    return {__FILE__, "error(_:contextType:)", 67};
}

void ContextLog::write(LogLevel level, std::string message, LogContextType contextType) {
    const Origin from = origin(level);
    const LogValue context("[" + std::string(rawValue(contextType)) + "]");
    LogHub::log(level, message, from.file, from.function, from.line, context);
}

}  // namespace tarnwick
