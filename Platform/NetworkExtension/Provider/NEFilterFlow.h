#pragma once

#include "Foundation/Value.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

enum class NETrafficDirection { any, inbound, outbound };

// What the system tells a filter about one new flow. `identifier` is unique within the process
// and is how a resumed verdict finds its flow; the other fields are what is known of the flow's
// source and destination, each absent when unknown.
class NEFilterFlow {
public:
    explicit NEFilterFlow(std::uint64_t identifier) : m_identifier(identifier) {}
    virtual ~NEFilterFlow() = default;

    std::uint64_t identifier() const { return m_identifier; }

    // The flow's URL, for flows the system knows one of (never for packet-level flows).
    std::optional<std::string> url;
    // The signing identifier of the source application, prefixed with its team.
    std::optional<std::string> sourceAppIdentifier;
    // Names the source process; see AuditToken.
    std::optional<Value::Data> sourceAppAuditToken;
    NETrafficDirection direction = NETrafficDirection::any;

private:
    std::uint64_t m_identifier;
};

}  // namespace tarnwick
