#pragma once

#include "Foundation/Result.h"
#include "XPCMessage.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Cuts a byte stream into messages. Bytes may arrive in any pieces. The first bad frame (too large,
// empty, not a message) ends decoding for good: a peer that sends one is not trusted further.
class XPCFrameDecoder {
public:
    // Appends the messages completed by `bytes` to `messages`, those before a bad frame included;
    // the reason when the stream was refused.
    Result<void, std::string> feed(std::string_view bytes, std::vector<XPCMessage>& messages);
    // Called at the end of the stream: the reason when it stopped inside a frame.
    Result<void, std::string> finish() const;

    bool failed() const { return m_failed; }
    // Bytes of a frame that is not complete yet.
    std::size_t bufferedSize() const { return m_buffer.size(); }

private:
    std::string m_buffer;
    bool m_failed = false;
};

}  // namespace tarnwick
