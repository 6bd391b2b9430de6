#pragma once

#include <string>

namespace tarnwick {

// Why a request got no answer from a server.
struct HTTPError {
    enum class Code {
        invalidRequest,  // a malformed address, an unsupported scheme, a header with a line break
        cancelled,       // cancelled by its task or by the end of its session
        timedOut,        // the time-out passed first
        cannotConnect,   // the host did not resolve or refused the connection
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

}  // namespace tarnwick
