#pragma once

#include "Describe.h"
#include "FunctionRef.h"
#include "LogLevel.h"
#include "LogValue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tarnwick {

class BaseDestination;

// The process-wide entry point of logging. A log call hands the entry to every registered
// destination; each decides whether it takes the entry, then formats and writes it on its own
// queue. The message is evaluated only when some destination needs its text, and an entry that no
// destination can take returns after one atomic read.
//
// The set of destinations may change at any time, from any thread.
class LogHub {
public:
    using Level = LogLevel;
    using MessageProducer = FunctionRef<std::string()>;

    LogHub() = delete;

    // False, and nothing changes, when this very destination is already registered.
    static bool addDestination(const std::shared_ptr<BaseDestination>& destination);
    // False when this destination is not registered.
    static bool removeDestination(const std::shared_ptr<BaseDestination>& destination);
    static void removeAllDestinations();
    static std::size_t countDestinations();
    static std::vector<std::shared_ptr<BaseDestination>> destinations();

    // How entries name the calling thread: empty on the main thread, the label of the running
    // queue on a queue, else a description of the thread.
    static std::string threadName();

    // The message is a value or a callable that yields one; either is described as text only when
    // needed. The call site is recorded unless given explicitly.
    template <typename M>
    static void verbose(M&& message, const LogValue& context = {},
                        std::source_location site = std::source_location::current()) {
        log(Level::verbose, std::forward<M>(message), site, context);
    }
    template <typename M>
    static void debug(M&& message, const LogValue& context = {},
                      std::source_location site = std::source_location::current()) {
        log(Level::debug, std::forward<M>(message), site, context);
    }
    template <typename M>
    static void info(M&& message, const LogValue& context = {},
                     std::source_location site = std::source_location::current()) {
        log(Level::info, std::forward<M>(message), site, context);
    }
    template <typename M>
    static void warning(M&& message, const LogValue& context = {},
                        std::source_location site = std::source_location::current()) {
        log(Level::warning, std::forward<M>(message), site, context);
    }
    template <typename M>
    static void error(M&& message, const LogValue& context = {},
                      std::source_location site = std::source_location::current()) {
        log(Level::error, std::forward<M>(message), site, context);
    }

    template <typename M>
    static void verbose(M&& message, std::string_view file, std::string_view function, long line,
                        const LogValue& context = {}) {
        log(Level::verbose, std::forward<M>(message), file, function, line, context);
    }
    template <typename M>
    static void debug(M&& message, std::string_view file, std::string_view function, long line,
                      const LogValue& context = {}) {
        log(Level::debug, std::forward<M>(message), file, function, line, context);
    }
    template <typename M>
    static void info(M&& message, std::string_view file, std::string_view function, long line,
                     const LogValue& context = {}) {
        log(Level::info, std::forward<M>(message), file, function, line, context);
    }
    template <typename M>
    static void warning(M&& message, std::string_view file, std::string_view function, long line,
                        const LogValue& context = {}) {
        log(Level::warning, std::forward<M>(message), file, function, line, context);
    }
    template <typename M>
    static void error(M&& message, std::string_view file, std::string_view function, long line,
                      const LogValue& context = {}) {
        log(Level::error, std::forward<M>(message), file, function, line, context);
    }

    // The general form, with an explicit level.
    static void custom(Level level, MessageProducer message, std::string_view file,
                       std::string_view function, long line, const LogValue& context);

    // Waits up to `seconds` until every destination has run what was queued before the call.
    static bool flush(std::int64_t seconds);

    // Destinations call this when a setting that decides acceptance changes.
    static void destinationSettingsChanged();

    // Whether some destination could take an entry of this level.
    static bool mightAccept(Level level) {
        return rawValue(level) >= s_lowestAcceptedLevel.load(std::memory_order_relaxed);
    }

    template <typename M>
    static void log(Level level, M&& message, std::string_view file, std::string_view function,
                    long line, const LogValue& context) {
        if (!mightAccept(level)) {
            return;
        }
        if constexpr (std::is_invocable_v<M&>) {
            auto produce = [&]() -> std::string { return describe(message()); };
            custom(level, produce, file, function, line, context);
        } else {
            auto produce = [&]() -> std::string { return describe(message); };
            custom(level, produce, file, function, line, context);
        }
    }

private:
    template <typename M>
    static void log(Level level, M&& message, const std::source_location& site,
                    const LogValue& context) {
        log(level, std::forward<M>(message), site.file_name(), site.function_name(),
            static_cast<long>(site.line()), context);
    }

    // No destination takes entries below this level; 5 (above every level) with none registered.
    static inline std::atomic<long> s_lowestAcceptedLevel{5};
};

}  // namespace tarnwick
