#pragma once

#include <string>

namespace tarnwick {

// Why a message to the peer got no reply. Exactly one of a message's reply handler and its error
// handler runs.
struct XPCError {
    enum class Code {
        connectionInvalid,      // the connection was invalidated, refused or never reached a peer
        connectionInterrupted,  // the peer went away while the message was on its way
        peerError,              // the peer could not deliver the message to its exported object
        sendFailed,             // the message could not be written
    };

    Code code;
    std::string localizedDescription;

    static XPCError invalid();
    static XPCError interrupted();
};

}  // namespace tarnwick
