#include "XPC/XPCFrameDecoder.h"
#include "XPC/XPCMessage.h"
#include "fuzz/FuzzEntries.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::fuzz {

namespace {

bool sameMessage(const XPCMessage& a, const XPCMessage& b) {
    return a.version == b.version && a.kind == b.kind && a.id == b.id && a.selector == b.selector &&
           a.arguments == b.arguments && a.expectsReply == b.expectsReply &&
           a.description == b.description;
}

// Every message that decodes must come back the same after encoding.
void checkRoundTrip(const std::vector<XPCMessage>& messages) {
    for (const auto& message : messages) {
        const auto frame = message.encodeFrame();
        if (!frame) {
            continue;  // re-encoding may grow a body past the frame limit (1e5 becomes 100000.0)
        }
        XPCFrameDecoder decoder;
        std::vector<XPCMessage> decoded;
        (void)decoder.feed(*frame, decoded);  // the comparison below tells failure apart
        if (decoded.size() != 1 || !sameMessage(decoded.front(), message)) {
            std::abort();
        }
    }
}

}  // namespace

// The bytes as a stream cut into two pieces, then as the body of one frame.
int fuzzXPCFrames(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    XPCFrameDecoder stream;
    std::vector<XPCMessage> messages;
    (void)stream.feed(bytes.substr(0, size / 2), messages);  // a refused stream is a fine outcome
    (void)stream.feed(bytes.substr(size / 2), messages);
    (void)stream.finish();
    checkRoundTrip(messages);

    if (size == 0 || size > XPCMessage::kMaximumFrameSize) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(size);
    std::string frame{static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                      static_cast<char>(length >> 8), static_cast<char>(length)};
    frame.append(bytes);
    XPCFrameDecoder body;
    messages.clear();
    (void)body.feed(frame, messages);
    checkRoundTrip(messages);
    return 0;
}

}  // namespace tarnwick::fuzz
