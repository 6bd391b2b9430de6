#pragma once

#include <string>

namespace tarnwick {

// Why a request got no answer from a server.
struct HTTPError {
    enum class Code {
        invalidRequest,    // a malformed address, an unsupported scheme, a header with a line break
        cancelled,         // cancelled by its task or by the end of its session
        timedOut,          // the time-out passed first
        cannotConnect,     // the host did not resolve or refused the connection
        responseTooLarge,  // the answer grew beyond the request's maximum size
        transport,         // any other failure on the way (TLS, a dropped connection, ...)
    };

    Code code = Code::transport;
    // For logs; never shown to users.
    std::string message;
};

}  // namespace tarnwick
