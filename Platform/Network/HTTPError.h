#pragma once

#include <functional>
#include <string>

namespace tarnwick {

// Why a request got no answer from a server.
struct HTTPError {
    enum class Code {
        invalidRequest,  // a malformed address, an unsupported scheme, a header with a line break
        cancelled,       // cancelled by its task or by the end of its session
        timedOut,        // the time-out passed first
        cannotConnect,   // the host refused the connection or could not be reached
        cannotResolveHost,       // the host name did not resolve
        connectionLost,          // the connection dropped before the answer was complete
        notConnectedToInternet,  // no route to any network: the machine is offline
        responseTooLarge,        // the answer grew beyond the request's maximum size
        transport,               // any other failure on the way (TLS, a dropped connection, ...)
    };

    Code code = Code::transport;
    // For logs; never shown to users.
    std::string message;
};

// The code for a failed transfer, given libcurl's result code and the system error of its last
// connection attempt (0 when none). Only "the network is unreachable" means offline: a refused
// connection or an unknown host says nothing about the machine's own link.
HTTPError::Code httpErrorCodeForTransfer(int curlCode, int systemError);

// Whether a failure shows that the machine has no network: a time-out, an unreachable network or
// a dropped connection; a name that did not resolve only while the connectivity watch says the
// path is not satisfied (`isPathSatisfied` is asked then, and only then). An unknown host or a
// refusal while the network is up is the server's matter, not the network's.
bool isLackOfNetwork(HTTPError::Code code, const std::function<bool()>& isPathSatisfied);

}  // namespace tarnwick
