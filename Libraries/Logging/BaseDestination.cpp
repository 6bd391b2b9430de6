#include "BaseDestination.h"

#include "Filter.h"
#include "FilterValidator.h"
#include "Foundation/Text.h"
#include "Foundation/UUID.h"
#include "Foundation/ValueJSON.h"
#include "LogHub.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace tarnwick {

namespace {

// Characters, not bytes, count towards a width: UTF-8 continuation bytes are skipped.
std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void appendPadded(std::string& line, std::string_view value, long width) {
    const std::size_t target = static_cast<std::size_t>(width < 0 ? -width : width);
    const std::size_t length = width == 0 ? 0 : characterCount(value);
    const std::size_t fill = length < target ? target - length : 0;
    if (width > 0) {
        line.append(fill, ' ');
    }
    line.append(value);
    if (width < 0) {
        line.append(fill, ' ');
    }
}

struct Padding {
    long width = 0;
    std::size_t consumed = 0;
};

// An optional "-" and a run of digits at the start of a piece; nothing is consumed without
// digits. A width counts up to kMaximumWidth, so a format cannot make every line allocate without
// bound.
Padding parsePadding(std::string_view piece) {
    const std::size_t sign = (!piece.empty() && piece.front() == '-') ? 1 : 0;
    std::size_t end = sign;
    while (end < piece.size() && piece[end] >= '0' && piece[end] <= '9') {
        ++end;
    }
    if (end == sign) {
        return {};
    }
    long width = 0;
    const auto [stop, error] = std::from_chars(piece.data() + sign, piece.data() + end, width);
    if (error == std::errc::result_out_of_range || width > BaseDestination::kMaximumWidth) {
        width = BaseDestination::kMaximumWidth;
    } else if (error != std::errc() || stop != piece.data() + end) {
        return {};
    }
    return {sign == 1 ? -width : width, end};
}

bool isTrailingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view fileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

BaseDestination::BaseDestination(const WallClock& clock)
    : m_clock(clock)
    , m_startDate(clock.now())
    , m_queue(DispatchQueue::create("loghub-queue-" + UUID::random().uuidString())) {
    m_filterLists.push_back(std::make_unique<const FilterList>());
    m_filters.store(m_filterLists.back().get(), std::memory_order_release);
}

BaseDestination::~BaseDestination() = default;

void BaseDestination::setMinLevel(LogLevel level) {
    m_minLevel.store(level);
    LogHub::destinationSettingsChanged();
}

Result<void, std::string> BaseDestination::setQueue(std::shared_ptr<DispatchQueue> queue) {
    if (m_registered.load()) {
        return Failure{"The queue of a destination cannot change once it is registered"};
    }
    m_queue = std::move(queue);
    LogHub::destinationSettingsChanged();
    return {};
}

void BaseDestination::addFilter(std::shared_ptr<FilterType> filter) {
    {
        std::lock_guard lock(m_filtersMutex);
        auto list = std::make_unique<FilterList>(filters());
        list->push_back(std::move(filter));
        m_filterLists.push_back(std::move(list));
        m_filters.store(m_filterLists.back().get(), std::memory_order_release);
    }
    LogHub::destinationSettingsChanged();
}

void BaseDestination::removeFilter(const std::shared_ptr<FilterType>& filter) {
    {
        std::lock_guard lock(m_filtersMutex);
        const FilterList& current = filters();
        auto found = std::find(current.begin(), current.end(), filter);
        if (found == current.end()) {
            return;
        }
        auto list = std::make_unique<FilterList>(current);
        list->erase(list->begin() + (found - current.begin()));
        m_filterLists.push_back(std::move(list));
        m_filters.store(m_filterLists.back().get(), std::memory_order_release);
    }
    LogHub::destinationSettingsChanged();
}

bool BaseDestination::hasMessageFilters() const {
    const FilterList& list = filters();
    return std::any_of(list.begin(), list.end(), [](const auto& filter) {
        return filter->target().kind() == FilterTargetType::Kind::Message;
    });
}

void BaseDestination::printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::optional<std::string> BaseDestination::send(LogLevel level, const std::string& message,
                                                 const std::string& thread, const std::string& file,
                                                 const std::string& function, long line,
                                                 const LogValue& context) {
    if (m_format.rfind("$J", 0) == 0) {
        return messageToJSON(level, message, thread, file, function, line, context);
    }
    return formatMessage(m_format, level, message, thread, file, function, line, context);
}

std::string BaseDestination::formatMessage(const std::string& format, LogLevel level,
                                           const std::string& message, const std::string& thread,
                                           const std::string& file, const std::string& function,
                                           long line, const LogValue& context) {
    // The leading "$I" turns the text before the first "$" into an ordinary piece.
    const std::string text = "$I" + format;
    std::string result;
    result.reserve(text.size() + message.size() + 32);

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('$', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view piece(text.data() + start, end - start);
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        const Padding padding = parsePadding(piece);
        if (padding.consumed >= piece.size()) {
            // A width with no token after it renders nothing.
            continue;
        }
        const char token = piece[padding.consumed];
        const std::string_view rest = piece.substr(padding.consumed + 1);
        const long width = padding.width;
        switch (token) {
            case 'I':
            case 'd':
            case 'z':
                result.append(rest);
                break;
            case 'L':
                appendPadded(result, levelWord(level), width);
                result.append(rest);
                break;
            case 'M':
                appendPadded(result, message, width);
                result.append(rest);
                break;
            case 'T':
                appendPadded(result, thread, width);
                result.append(rest);
                break;
            case 'N': {
                const std::string_view name = fileName(file);
                appendPadded(result, name.substr(0, name.find('.')), width);
                result.append(rest);
                break;
            }
            case 'n':
                appendPadded(result, fileName(file), width);
                result.append(rest);
                break;
            case 'F':
                appendPadded(result, function, width);
                result.append(rest);
                break;
            case 'l':
                appendPadded(result, std::to_string(line), width);
                result.append(rest);
                break;
            case 'D':
                appendPadded(result, formatDate(std::string(rest)), width);
                break;
            case 'Z':
                appendPadded(result, formatDate(std::string(rest), "UTC"), width);
                break;
            case 'U':
                appendPadded(result, uptime(), width);
                result.append(rest);
                break;
            case 'C':
                result.append(m_escape);
                result.append(colorForLevel(level));
                result.append(rest);
                break;
            case 'c':
                result.append(m_reset);
                result.append(rest);
                break;
            case 'X':
                if (context.hasValue()) {
                    appendPadded(result, trimmed(context.description()), width);
                } else {
                    appendPadded(result, "", width);
                }
                result.append(rest);
                break;
            default:
                result.append(piece);
                break;
        }
    }
    while (!result.empty() && isTrailingSpace(result.back())) {
        result.pop_back();
    }
    return result;
}

std::optional<std::string> BaseDestination::messageToJSON(
    LogLevel level, const std::string& message, const std::string& thread, const std::string& file,
    const std::string& function, long line, const LogValue& context) {
    const auto now = m_clock.now().time_since_epoch();
    nlohmann::json entry = {
        {"timestamp", std::chrono::duration<double>(now).count()},
        {"level", rawValue(level)},
        {"message", message},
        {"thread", thread},
        {"file", file},
        {"function", function},
        {"line", line},
    };
    if (context.hasValue()) {
        std::visit(
            [&](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, LogValue::Describer>) {
                    entry["context"] = context.description();
                } else if constexpr (std::is_same_v<T, Value::Dictionary>) {
                    entry["context"] = jsonFromValue(Value(value));
                } else if constexpr (!std::is_same_v<T, std::monostate>) {
                    entry["context"] = value;
                }
            },
            context.storage());
    }
    try {
        return entry.dump();
    } catch (const nlohmann::json::exception&) {
        // Text that is not valid UTF-8 cannot be written as JSON.
        printLine("LogHub could not create JSON from dict.");
        return std::nullopt;
    }
}

std::string BaseDestination::formatDate(const std::string& pattern, const std::string& timeZone) {
    // A pattern without a zone is local time, even right after a UTC token on this formatter.
    m_formatter.setTimeZone(timeZone.empty() ? std::nullopt : std::optional(timeZone));
    m_formatter.setCalendar(m_calendar);
    m_formatter.setDateFormat(pattern);
    return m_formatter.string(m_clock.now());
}

std::string BaseDestination::uptime() const {
    const double seconds = std::chrono::duration<double>(m_clock.now() - m_startDate).count();
    const long whole = static_cast<long>(seconds);
    const long wholeMinutes = static_cast<long>(seconds / 60);
    const long hours = whole / 3600;
    const long minutes = wholeMinutes - hours * 60;
    const long secs = whole - wholeMinutes * 60;
    double integral = 0;
    const long millis = static_cast<long>(std::modf(seconds, &integral) * 1000);
    char text[64];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld.%03ld", hours, minutes, secs, millis);
    return text;
}

bool BaseDestination::shouldLevelBeLogged(LogLevel level, std::string_view path,
                                          std::string_view function,
                                          const std::optional<std::string>& message) const {
    const LogLevel minimum = minLevel();
    // One snapshot for the whole decision, however the list changes meanwhile.
    const FilterList& list = filters();
    if (list.empty()) {
        const bool accepted = reaches(level, minimum);
        if (m_debugPrint) {
            printLine(accepted ? "filters are empty and level >= minLevel"
                               : "filters are empty and level < minLevel");
        }
        return accepted;
    }

    using Kind = FilterValidator::Result::Kind;
    const std::string pathText(path);
    const std::string functionText(function);
    const FilterValidator::Input input{list, level, pathText, functionText, message};

    const auto excluded =
        FilterValidator::validate(input, FilterValidator::ValidationType::excluded);
    if (excluded.kind == Kind::someFiltersMatch) {
        if (m_debugPrint) {
            printLine("filters are not empty and message was excluded");
        }
        return false;
    }

    const auto required =
        FilterValidator::validate(input, FilterValidator::ValidationType::required);
    if (required.kind == Kind::allFiltersMatch) {
        return true;
    }
    if (required.kind == Kind::someFiltersMatch) {
        return false;
    }

    const auto optional =
        FilterValidator::validate(input, FilterValidator::ValidationType::nonRequired);
    switch (optional.kind) {
        case Kind::allFiltersMatch:
            return true;
        case Kind::someFiltersMatch:
            if (optional.partialMatch.fullMatchCount > 0) {
                return true;
            }
            if (optional.partialMatch.conditionMatchCount > 0) {
                return false;
            }
            return reaches(level, minimum);
        case Kind::noFiltersMatchingType:
            break;
    }
    return reaches(level, minimum);
}

void BaseDestination::submit(LogLevel level, std::string_view message, std::string_view thread,
                             std::string_view file, std::string_view function, long line,
                             const LogValue& context) {
    {
        std::lock_guard lock(m_pendingMutex);
        if (m_pending.count == m_pending.entries.size()) {
            m_pending.entries.emplace_back();
        }
        PendingEntry& slot = m_pending.entries[m_pending.count++];
        std::string& arena = m_pending.arena;
        slot.level = level;
        slot.offset = arena.size();
        slot.messageLength = message.size();
        slot.threadLength = thread.size();
        slot.fileLength = file.size();
        slot.functionLength = function.size();
        slot.line = line;
        slot.context = context;
        arena.append(message).append(thread).append(file).append(function);
        if (m_sendScheduled) {
            return;
        }
        m_sendScheduled = true;
    }
    // The block keeps the destination alive until its entries are sent.
    m_queue->async([self = shared_from_this()] { self->sendPending(); });
}

void BaseDestination::sendPending() {
    // Keeps sending while entries keep arriving, so a steady stream wakes the queue once.
    for (;;) {
        {
            std::lock_guard lock(m_pendingMutex);
            if (m_pending.count == 0) {
                m_sendScheduled = false;
                break;
            }
            std::swap(m_pending, m_sending);
            m_pending.count = 0;
            m_pending.arena.clear();
        }
        beginBatch();
        for (std::size_t i = 0; i < m_sending.count; ++i) {
            const PendingEntry& entry = m_sending.entries[i];
            const char* text = m_sending.arena.data() + entry.offset;
            m_sendMessage.assign(text, entry.messageLength);
            text += entry.messageLength;
            m_sendThread.assign(text, entry.threadLength);
            text += entry.threadLength;
            m_sendFile.assign(text, entry.fileLength);
            text += entry.fileLength;
            m_sendFunction.assign(text, entry.functionLength);
            send(entry.level, m_sendMessage, m_sendThread, m_sendFile, m_sendFunction, entry.line,
                 entry.context);
        }
        endBatch();
    }
    // A long burst may have grown the buffer far beyond what a calm caller needs.
    constexpr std::size_t kRetainedEntries = 16384;
    constexpr std::size_t kRetainedArenaBytes = 4 * 1024 * 1024;
    if (m_sending.entries.size() > kRetainedEntries) {
        m_sending.entries.resize(kRetainedEntries);
        m_sending.entries.shrink_to_fit();
    }
    if (m_sending.arena.capacity() > kRetainedArenaBytes) {
        m_sending.arena = std::string();
    }
}

void BaseDestination::execute(bool synchronously, std::function<void()> block) {
    if (!m_queue) {
        printLine("Queue not set");
        std::abort();
    }
    if (synchronously) {
        m_queue->sync(std::move(block));
    } else {
        m_queue->async(std::move(block));
    }
}

}  // namespace tarnwick
