#include "AuditToken.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

namespace tarnwick {

namespace {

// Field 22 of /proc/PID/stat. The command name (field 2) may hold spaces and parentheses, so
// counting starts after its last ')'.
std::optional<std::uint64_t> startTimeOf(pid_t pid) {
    char path[32];
    std::snprintf(path, sizeof(path), "/proc/%d/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    char buffer[1024];
    const ssize_t length = ::read(fd, buffer, sizeof(buffer) - 1);
    ::close(fd);
    if (length <= 0) {
        return std::nullopt;
    }
    buffer[length] = '\0';
    const char* cursor = std::strrchr(buffer, ')');
    if (cursor == nullptr) {
        return std::nullopt;
    }
    ++cursor;
    // After ')' come fields 3 onwards; the start time is the 20th of them.
    for (int field = 3; field < 22; ++field) {
        cursor = std::strchr(cursor + 1, ' ');
        if (cursor == nullptr) {
            return std::nullopt;
        }
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(cursor + 1, &end, 10);
    if (end == cursor + 1) {
        return std::nullopt;
    }
    return value;
}

// Processes seen lately, each held by a pidfd: while the pidfd says the process still runs, its
// pid still names it, so its start time need not be read again. Spares the packet thread several
// reads of /proc for every connection of a busy program.
class ProcessCache {
public:
    static ProcessCache& shared() {
        static auto* cache = new ProcessCache;
        return *cache;
    }

    // `held`: a pidfd of the process already open, and its owner read after it was opened.
    std::optional<AuditToken> token(pid_t pid, FileDescriptor held = {},
                                    std::optional<uid_t> owner = std::nullopt) {
        std::lock_guard lock(m_mutex);
        if (auto found = m_entries.find(pid); found != m_entries.end()) {
            if (isRunning(found->second.pidfd)) {
                found->second.lastUse = ++m_clock;
                return found->second.token;
            }
            ::close(found->second.pidfd);
            m_entries.erase(found);
        }
        const bool adopted = held.valid() && owner.has_value();
        FileDescriptor pidfd =
            adopted ? std::move(held)
                    : FileDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
        if (!pidfd) {
            return std::nullopt;
        }
        // Read after the pidfd is open: the pidfd then surely names the process read.
        if (!adopted) {
            struct stat status {};
            char path[32];
            std::snprintf(path, sizeof(path), "/proc/%d", pid);
            if (::stat(path, &status) != 0) {
                return std::nullopt;
            }
            owner = status.st_uid;
        }
        const auto startTime = startTimeOf(pid);
        if (!startTime || !isRunning(pidfd.get())) {
            return std::nullopt;
        }
        const AuditToken token{pid, *owner, *startTime};
        makeRoom();
        m_entries.emplace(pid, Entry{token, pidfd.release(), ++m_clock});
        return token;
    }

    std::optional<bool> isCurrent(const AuditToken& token) {
        std::lock_guard lock(m_mutex);
        auto found = m_entries.find(token.pid);
        if (found == m_entries.end() || !isRunning(found->second.pidfd)) {
            return std::nullopt;
        }
        return found->second.token.startTime == token.startTime;
    }

private:
    struct Entry {
        AuditToken token;
        int pidfd;
        std::uint64_t lastUse;
    };

    static constexpr std::size_t kCapacity = 128;

    static bool isRunning(int pidfd) {
        pollfd descriptor{pidfd, POLLIN, 0};
        return ::poll(&descriptor, 1, 0) == 0;
    }

    void makeRoom() {
        if (m_entries.size() < kCapacity) {
            return;
        }
        auto oldest = m_entries.begin();
        for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
            if (entry->second.lastUse < oldest->second.lastUse) {
                oldest = entry;
            }
        }
        ::close(oldest->second.pidfd);
        m_entries.erase(oldest);
    }

    std::mutex m_mutex;
    std::unordered_map<pid_t, Entry> m_entries;
    std::uint64_t m_clock = 0;
};

}  // namespace

Value::Data AuditToken::encode() const {
    Value::Data bytes(16);
    const auto put = [&bytes](std::size_t offset, std::uint64_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    put(0, static_cast<std::uint32_t>(pid), 4);
    put(4, uid, 4);
    put(8, startTime, 8);
    return bytes;
}

std::optional<AuditToken> AuditToken::decode(const Value::Data& bytes) {
    if (bytes.size() != 16) {
        return std::nullopt;
    }
    const auto get = [&bytes](std::size_t offset, std::size_t size) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
        }
        return value;
    };
    AuditToken token;
    token.pid = static_cast<pid_t>(get(0, 4));
    token.uid = static_cast<uid_t>(get(4, 4));
    token.startTime = get(8, 8);
    if (token.pid <= 0) {
        return std::nullopt;
    }
    return token;
}

std::optional<AuditToken> AuditToken::forProcess(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    return ProcessCache::shared().token(pid);
}

std::optional<AuditToken> AuditToken::forProcess(pid_t pid, FileDescriptor pidfd, uid_t uid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    return ProcessCache::shared().token(pid, std::move(pidfd), uid);
}

bool AuditToken::isCurrent() const {
    if (auto cached = ProcessCache::shared().isCurrent(*this)) {
        return *cached;
    }
    const auto now = startTimeOf(pid);
    return now && *now == startTime;
}

}  // namespace tarnwick
