#pragma once

#include "NEFilterFlow.h"
#include "NWEndpoint.h"

#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// A flow of one socket: its two ends, the host name the remote address was looked up by (when the
// system saw the lookup), and the socket's family, type and protocol.
class NEFilterSocketFlow final : public NEFilterFlow {
public:
    using NEFilterFlow::NEFilterFlow;

    std::shared_ptr<NWEndpoint> remoteEndpoint;
    std::shared_ptr<NWEndpoint> localEndpoint;
    std::optional<std::string> remoteHostname;
    int socketFamily = 0;
    int socketType = 0;
    int socketProtocol = 0;
};

}  // namespace tarnwick
