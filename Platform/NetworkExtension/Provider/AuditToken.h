#pragma once

#include "Foundation/FileDescriptor.h"
#include "Foundation/Value.h"

#include <cstdint>
#include <optional>
#include <sys/types.h>

namespace tarnwick {

// Names one process for as long as it lives: its pid together with its start time, so a token
// does not come to name another process that later gets the same pid. Sixteen bytes: pid, uid
// (32 bits each) and start time in clock ticks since boot (64 bits), little-endian.
struct AuditToken {
    pid_t pid = 0;
    uid_t uid = 0;
    std::uint64_t startTime = 0;

    Value::Data encode() const;
    static std::optional<AuditToken> decode(const Value::Data& bytes);

    // The token of a running process; nothing when it is gone.
    static std::optional<AuditToken> forProcess(pid_t pid);
    // The same for a process already held by `pidfd`, whose owner /proc gave as `uid` once the
    // pidfd was open: what a search for it read is not read again.
    static std::optional<AuditToken> forProcess(pid_t pid, FileDescriptor pidfd, uid_t uid);
    // Whether the process the token names still runs.
    bool isCurrent() const;
};

}  // namespace tarnwick
