#pragma once

#include "Foundation/Value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarnwick {

class XPCConnectionCore;

// The reply block of one incoming message. Copies share one answer: the first call sends it, later
// calls do nothing. When the last copy goes away unanswered, the peer gets an error instead, so
// its error handler runs and nothing waits for an answer that cannot come.
class XPCReply {
public:
    XPCReply() = default;
    XPCReply(std::weak_ptr<XPCConnectionCore> connection, std::uint64_t messageId, int version);

    explicit operator bool() const { return m_state != nullptr; }

    void operator()(Value::Array arguments) const;
    // Answers with an error; the peer's error handler runs with `description`.
    void fail(const std::string& description) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
