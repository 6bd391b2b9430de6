#pragma once

#include "Dispatch/DispatchQueue.h"
#include "FilterType.h"
#include "Foundation/DateFormatter.h"
#include "Foundation/Result.h"
#include "Foundation/WallClock.h"
#include "LevelColor.h"
#include "LevelString.h"
#include "LogLevel.h"
#include "LogValue.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The common base of log destinations. It holds a destination's settings, owns its serial queue,
// decides whether it takes an entry and renders an entry as a line of its format (or as a JSON
// object when the format begins with "$J"). Subclasses override `send` to write the text.
//
// The format language: "$" starts a token, optionally preceded by a width ("$-10L"):
//   L level word, M message, T thread, N file name without suffix, n file name, F function,
//   l line, D...$d local date pattern, Z...$z UTC date pattern, U uptime, C/c colour on/off,
//   X context; any other character is copied with its piece. Trailing white space is removed.
//   Widths beyond kMaximumWidth count as kMaximumWidth.
//
// The minimum level, the filters and the output mode may change at any time, from any thread: the
// filter list is copied on write, so a thread that logs reads a complete list without a lock. The
// queue is fixed once the destination has been registered with LogHub. The other settings are read
// on the queue; set them before the destination is registered or while no entries flow.
class BaseDestination : public std::enable_shared_from_this<BaseDestination> {
public:
    // The widest padding a format may ask for, in characters.
    static constexpr long kMaximumWidth = 1000;

    explicit BaseDestination(const WallClock& clock = WallClock::system());
    virtual ~BaseDestination();
    BaseDestination(const BaseDestination&) = delete;
    BaseDestination& operator=(const BaseDestination&) = delete;

    // Per-class constant that tells kinds of destination apart when they are hashed.
    virtual int defaultHashValue() const { return 0; }

    // Renders the entry: its JSON form when the format begins with "$J", else a line of the
    // format. Runs on the destination's queue; subclasses write the text and return it.
    virtual std::optional<std::string> send(LogLevel level, const std::string& message,
                                            const std::string& thread, const std::string& file,
                                            const std::string& function, long line,
                                            const LogValue& context);

    std::string formatMessage(const std::string& format, LogLevel level, const std::string& message,
                              const std::string& thread, const std::string& file,
                              const std::string& function, long line, const LogValue& context);
    std::optional<std::string> messageToJSON(LogLevel level, const std::string& message,
                                             const std::string& thread, const std::string& file,
                                             const std::string& function, long line,
                                             const LogValue& context);
    const std::string& levelWord(LogLevel level) const { return m_levelString.forLevel(level); }
    const std::string& colorForLevel(LogLevel level) const { return m_levelColor.forLevel(level); }
    // The current moment in `pattern`; in UTC (or another zone named by identifier or
    // abbreviation) when `timeZone` is given, else in local time.
    std::string formatDate(const std::string& pattern, const std::string& timeZone = "");
    std::string uptime() const;

    using FilterList = std::vector<std::shared_ptr<FilterType>>;

    void addFilter(std::shared_ptr<FilterType> filter);
    void removeFilter(const std::shared_ptr<FilterType>& filter);
    bool shouldLevelBeLogged(LogLevel level, std::string_view path, std::string_view function,
                             const std::optional<std::string>& message) const;
    // Whether some filter tests the message text.
    bool hasMessageFilters() const;

    // Runs a block on the queue, waiting for it when `synchronously` is true.
    void execute(bool synchronously, std::function<void()> block);

    // Hands an accepted entry to the queue without waiting; `send` runs there later. Entries wait
    // in a buffer whose slots are reused, and one queued block sends every entry that arrived
    // before it ran, so a busy caller neither allocates per entry nor wakes the queue per entry.
    // Must be called on a destination owned by a shared_ptr.
    void submit(LogLevel level, std::string_view message, std::string_view thread,
                std::string_view file, std::string_view function, long line,
                const LogValue& context);

    const std::string& format() const { return m_format; }
    void setFormat(std::string format) { m_format = std::move(format); }
    // Whether the logger hands entries over without waiting for `send`. A destination that must
    // write before the log call returns pins it to false.
    virtual bool asynchronously() const { return m_asynchronously.load(std::memory_order_relaxed); }
    virtual void setAsynchronously(bool value) { m_asynchronously.store(value); }
    LogLevel minLevel() const { return m_minLevel.load(std::memory_order_relaxed); }
    void setMinLevel(LogLevel level);
    const LevelString& levelString() const { return m_levelString; }
    void setLevelString(LevelString levelString) { m_levelString = std::move(levelString); }
    const LevelColor& levelColor() const { return m_levelColor; }
    void setLevelColor(LevelColor levelColor) { m_levelColor = std::move(levelColor); }
    // A calendar identifier ("gregorian"); empty for the user's calendar.
    const std::string& calendar() const { return m_calendar; }
    void setCalendar(std::string calendar) { m_calendar = std::move(calendar); }
    const std::string& reset() const { return m_reset; }
    void setReset(std::string reset) { m_reset = std::move(reset); }
    const std::string& escape() const { return m_escape; }
    void setEscape(std::string escape) { m_escape = std::move(escape); }
    // The list as it stands now; it stays valid, unchanged, for the destination's lifetime.
    const FilterList& filters() const { return *m_filters.load(std::memory_order_acquire); }
    const std::shared_ptr<DispatchQueue>& queue() const { return m_queue; }
    // Refused once the destination has been registered: threads that log read the queue without
    // a lock.
    Result<void, std::string> setQueue(std::shared_ptr<DispatchQueue> queue);
    // Called by LogHub when the destination is registered; from then on the queue stays.
    void markRegistered() { m_registered.store(true); }
    bool debugPrint() const { return m_debugPrint; }
    void setDebugPrint(bool value) { m_debugPrint = value; }
    WallClock::TimePoint startDate() const { return m_startDate; }

    // Prints one line on standard output: how the logging core reports its own failures.
    static void printLine(const std::string& line);

protected:
    const WallClock& clock() const { return m_clock; }

    // Called on the queue around a run of entries that are sent together. A destination may
    // gather its output in between, as long as everything is written when the run ends.
    virtual void beginBatch() {}
    virtual void endBatch() {}

private:
    // An entry waiting for the queue. Its texts live one after another in the buffer's arena, so
    // a waiting entry costs no allocation of its own.
    struct PendingEntry {
        LogLevel level = LogLevel::verbose;
        std::size_t offset = 0;
        std::size_t messageLength = 0;
        std::size_t threadLength = 0;
        std::size_t fileLength = 0;
        std::size_t functionLength = 0;
        long line = 0;
        LogValue context;
    };
    struct PendingBuffer {
        std::vector<PendingEntry> entries;
        std::size_t count = 0;
        std::string arena;
    };

    void sendPending();

    std::mutex m_pendingMutex;
    PendingBuffer m_pending;
    bool m_sendScheduled = false;  // a block that sends the pending entries is queued or running
    // Touched on the queue only: the buffer being sent, and the texts handed to `send`.
    PendingBuffer m_sending;
    std::string m_sendMessage, m_sendThread, m_sendFile, m_sendFunction;

    const WallClock& m_clock;
    std::string m_format = "$DHH:mm:ss.SSS$d $C$L$c $N.$F:$l - $M";
    std::atomic<bool> m_asynchronously{true};
    std::atomic<LogLevel> m_minLevel{LogLevel::verbose};
    LevelString m_levelString;
    LevelColor m_levelColor;
    std::string m_calendar;
    std::string m_reset;
    std::string m_escape;
    // Every list published so far, the current one last. Old lists stay until the destination
    // goes, because a logging thread may still be reading one; filters change a handful of times.
    std::mutex m_filtersMutex;
    std::vector<std::unique_ptr<const FilterList>> m_filterLists;
    std::atomic<const FilterList*> m_filters;
    std::atomic<bool> m_registered{false};
    DateFormatter m_formatter;
    const WallClock::TimePoint m_startDate;
    std::shared_ptr<DispatchQueue> m_queue;
    bool m_debugPrint = false;
};

}  // namespace tarnwick
