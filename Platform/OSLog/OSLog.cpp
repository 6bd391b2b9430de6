#include "OSLog.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

namespace tarnwick {

namespace {

// Never destroyed: detached threads may still log while the process exits.
struct ObserverSlot {
    std::mutex mutex;
    OSLog::Observer observer;
};

ObserverSlot& observerSlot() {
    static auto* slot = new ObserverSlot;
    return *slot;
}

int priorityOf(OSLogType type) {
    switch (type) {
        case OSLogType::standard:
            return LOG_NOTICE;
        case OSLogType::info:
            return LOG_INFO;
        case OSLogType::debug:
            return LOG_DEBUG;
        case OSLogType::error:
            return LOG_ERR;
        case OSLogType::fault:
            return LOG_CRIT;
    }
    return LOG_NOTICE;
}

// A journal entry is one datagram; far longer lines than ours would need a memory file.
constexpr std::size_t kJournalMessageLimit = 48 * 1024;

// Never destroyed, like the observer.
struct Destination {
    std::mutex mutex;
    OSLogDestination kind = OSLogDestination::syslog;
    std::string journalSocket;
    int socket = -1;
};

Destination& destination() {
    static auto* slot = new Destination;
    return *slot;
}

// The journal's native protocol: fields of "NAME=value\n", a value with a line break in it as
// "NAME\n", its length as 64-bit little endian, the bytes and "\n".
void appendField(std::string& datagram, std::string_view name, std::string_view value) {
    datagram.append(name);
    if (value.find('\n') == std::string_view::npos) {
        datagram.append("=").append(value).append("\n");
        return;
    }
    datagram.append("\n");
    std::uint64_t length = value.size();
    for (int byte = 0; byte < 8; ++byte) {
        datagram.push_back(static_cast<char>(length & 0xff));
        length >>= 8;
    }
    datagram.append(value).append("\n");
}

// False when there is no journal to take the line.
bool sendToJournal(Destination& target, int priority, std::string_view text) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (target.journalSocket.size() >= sizeof(address.sun_path)) {
        return false;
    }
    target.journalSocket.copy(address.sun_path, target.journalSocket.size());
    if (target.socket < 0) {
        target.socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (target.socket < 0) {
            return false;
        }
    }
    std::string datagram;
    appendField(datagram, "PRIORITY", std::to_string(priority));
    appendField(datagram, "SYSLOG_FACILITY", std::to_string(LOG_USER >> 3));
    appendField(datagram, "SYSLOG_IDENTIFIER", program_invocation_short_name);
    appendField(datagram, "MESSAGE", text.substr(0, kJournalMessageLimit));
    // Never waits: a journal too busy to take the line loses it, and the thread that logs (the
    // packet thread among them) goes on.
    const auto sent =
        ::sendto(target.socket, datagram.data(), datagram.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    return sent == static_cast<ssize_t>(datagram.size()) || errno == EAGAIN;
}

void writeToStandardError(int priority, std::string_view text) {
    // Under systemd standard error is a journal stream, which reads a "<priority>" prefix.
    std::string line = std::getenv("JOURNAL_STREAM") != nullptr
                           ? "<" + std::to_string(priority) + ">"
                           : std::string(program_invocation_short_name) + ": ";
    line.append(text.substr(0, kJournalMessageLimit)).append("\n");
    // One write, so lines of several threads never interleave.
    (void)!::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace

void OSLog::setDestination(OSLogDestination kind, std::string journalSocket) {
    auto& target = destination();
    std::lock_guard lock(target.mutex);
    target.kind = kind;
    target.journalSocket = std::move(journalSocket);
}

OSLog::OSLog(std::string subsystem, std::string category)
    : m_subsystem(std::move(subsystem)), m_category(std::move(category)) {}

const OSLog& OSLog::defaultLog() {
    static const auto* log = new OSLog("", "");
    return *log;
}

void OSLog::log(OSLogType type, std::string_view message) const {
    const auto limited = message.substr(0, 1 << 20);
    const int priority = priorityOf(type);
    {
        auto& target = destination();
        std::lock_guard lock(target.mutex);
        if (target.kind == OSLogDestination::journal) {
            const std::string text =
                m_subsystem.empty() && m_category.empty()
                    ? std::string(limited)
                    : "[" + m_subsystem + ":" + m_category + "] " + std::string(limited);
            if (!sendToJournal(target, priority, text)) {
                writeToStandardError(priority, text);
            }
        } else if (m_subsystem.empty() && m_category.empty()) {
            // The message is always an argument, never the format, so a "%" in it is written as
            // it is.
            ::syslog(LOG_USER | priority, "%.*s", static_cast<int>(limited.size()), limited.data());
        } else {
            ::syslog(LOG_USER | priority, "[%s:%s] %.*s", m_subsystem.c_str(), m_category.c_str(),
                     static_cast<int>(limited.size()), limited.data());
        }
    }
    auto& slot = observerSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.observer) {
        slot.observer(*this, type, message);
    }
}

void OSLog::setObserverForTesting(Observer observer) {
    auto& slot = observerSlot();
    std::lock_guard lock(slot.mutex);
    slot.observer = std::move(observer);
}

}  // namespace tarnwick
