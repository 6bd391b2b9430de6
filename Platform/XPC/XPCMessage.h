#pragma once

#include "Foundation/Result.h"
#include "Foundation/Value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

// One frame on a connection's socket: a 4-byte big-endian length, then that many bytes of a UTF-8
// JSON object:
//   {"version": 1, "kind": "invoke", "id": 7, "selector": "register:", "arguments": [],
//    "expectsReply": true}
//   {"version": 1, "kind": "reply", "id": 7, "arguments": [true]}
//   {"version": 1, "kind": "error", "id": 7, "description": "..."}
// "version" is the version of the protocol the message belongs to; the receiver refuses an
// invocation whose version differs from that of its exported interface. Arguments are property-list
// values; data travels as {"$data": "<base64>"}.
struct XPCMessage {
    enum class Kind { invoke, reply, error };

    // Larger frames are refused without reading them: no message of the link comes close.
    static constexpr std::size_t kMaximumFrameSize = 1 << 20;
    static constexpr std::size_t kHeaderSize = 4;

    int version = 0;
    Kind kind = Kind::invoke;
    std::uint64_t id = 0;
    std::string selector;       // invoke only
    Value::Array arguments;     // invoke and reply
    bool expectsReply = false;  // invoke only
    std::string description;    // error only

    // The whole frame, header included; an error when the message is larger than a frame may be.
    Result<std::string, std::string> encodeFrame() const;
    // Reads a frame's JSON body; the reason when it is not a message.
    static Result<XPCMessage, std::string> decodeBody(std::string_view body);
};

}  // namespace tarnwick
