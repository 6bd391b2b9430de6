#pragma once

#include "FlowTable.h"

#include <cstdint>
#include <vector>

namespace tarnwick {

// Requests to the kernel's connection tracking (ctnetlink), built as the bytes to send.
struct ConntrackRequest {
    // Deletes the tracked connection whose original direction is `connection`'s addresses, ports
    // and protocol (its instance plays no part), and asks for an acknowledgement.
    static std::vector<std::uint8_t> deleteConnection(const FlowTable::Key& connection,
                                                      std::uint32_t sequence);
    // Deletes every tracked connection, of any family, whose mark has `value` under `mask`, and
    // asks for an acknowledgement.
    static std::vector<std::uint8_t> deleteMarked(std::uint32_t value, std::uint32_t mask,
                                                  std::uint32_t sequence);
};

}  // namespace tarnwick
