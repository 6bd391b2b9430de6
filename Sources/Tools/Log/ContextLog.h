#pragma once

#include "LogContextType.h"
#include "Logging/Describe.h"
#include "Logging/LogHub.h"

#include <string>

namespace tarnwick {

// A component's logging front end: every message it writes carries the component's context,
// shown as "[" + the context's raw value + "]" right behind the level word.
//
// The static operations are the facade's context-tagging forms; each passes this front end's own
// source file, its own signature and line as the entry's origin, whoever calls it.
class ContextLog {
public:
    explicit ContextLog(LogContextType contextType) : m_contextType(contextType) {}

    LogContextType contextType() const { return m_contextType; }

    template <typename M>
    void debug(const M& message) const {
        debug(message, m_contextType);
    }
    template <typename M>
    void info(const M& message) const {
        info(message, m_contextType);
    }
    template <typename M>
    void warning(const M& message) const {
        warning(message, m_contextType);
    }
    template <typename M>
    void error(const M& message) const {
        error(message, m_contextType);
    }

    template <typename M>
    static void debug(const M& message, LogContextType contextType) {
        if (LogHub::mightAccept(LogLevel::debug)) {
            write(LogLevel::debug, describe(message), contextType);
        }
    }
    template <typename M>
    static void info(const M& message, LogContextType contextType) {
        if (LogHub::mightAccept(LogLevel::info)) {
            write(LogLevel::info, describe(message), contextType);
        }
    }
    template <typename M>
    static void warning(const M& message, LogContextType contextType) {
        if (LogHub::mightAccept(LogLevel::warning)) {
            write(LogLevel::warning, describe(message), contextType);
        }
    }
    template <typename M>
    static void error(const M& message, LogContextType contextType) {
        if (LogHub::mightAccept(LogLevel::error)) {
            write(LogLevel::error, describe(message), contextType);
        }
    }

    // The origin that entries of each level carry.
    struct Origin {
        const char* file;
        const char* function;
        long line;
    };
    static Origin origin(LogLevel level);

private:
    static void write(LogLevel level, std::string message, LogContextType contextType);

    LogContextType m_contextType;
};

}  // namespace tarnwick
