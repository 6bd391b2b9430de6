#include "XPCFrameDecoder.h"

#include <cstdint>

namespace tarnwick {

Result<void, std::string> XPCFrameDecoder::feed(std::string_view bytes,
                                                std::vector<XPCMessage>& messages) {
    if (m_failed) {
        return Failure{"the stream was already refused"};
    }
    m_buffer.append(bytes);
    std::size_t offset = 0;
    std::optional<std::string> failure;
    while (m_buffer.size() - offset >= XPCMessage::kHeaderSize) {
        const auto* header = reinterpret_cast<const unsigned char*>(m_buffer.data() + offset);
        const std::uint32_t length = (std::uint32_t(header[0]) << 24) |
                                     (std::uint32_t(header[1]) << 16) |
                                     (std::uint32_t(header[2]) << 8) | std::uint32_t(header[3]);
        if (length == 0) {
            failure = "an empty frame";
            break;
        }
        if (length > XPCMessage::kMaximumFrameSize) {
            failure = "a frame of " + std::to_string(length) + " bytes, more than " +
                      std::to_string(XPCMessage::kMaximumFrameSize);
            break;
        }
        if (m_buffer.size() - offset - XPCMessage::kHeaderSize < length) {
            break;
        }
        auto message = XPCMessage::decodeBody(
            std::string_view(m_buffer).substr(offset + XPCMessage::kHeaderSize, length));
        if (!message) {
            failure = "a malformed frame: " + message.error();
            break;
        }
        messages.push_back(std::move(*message));
        offset += XPCMessage::kHeaderSize + length;
    }
    if (failure) {
        m_failed = true;
        m_buffer.clear();
        return Failure{std::move(*failure)};
    }
    m_buffer.erase(0, offset);
    return {};
}

Result<void, std::string> XPCFrameDecoder::finish() const {
    if (!m_failed && !m_buffer.empty()) {
        return Failure{"the stream ended inside a frame (" + std::to_string(m_buffer.size()) +
                       " bytes left over)"};
    }
    return {};
}

}  // namespace tarnwick
