#pragma once

namespace tarnwick {

// An end of a network flow. Only host endpoints (address and port) exist here; the base is kept
// because a flow's endpoint is not always one.
class NWEndpoint {
public:
    virtual ~NWEndpoint() = default;
};

}  // namespace tarnwick
