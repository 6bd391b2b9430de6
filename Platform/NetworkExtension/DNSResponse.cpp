#include "DNSResponse.h"

#include "IPPacket.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sys/socket.h>

namespace tarnwick {

namespace {

constexpr std::uint16_t kTypeA = 1;
constexpr std::uint16_t kTypeCNAME = 5;
constexpr std::uint16_t kTypeAAAA = 28;
constexpr std::uint16_t kClassIN = 1;

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> message) : m_message(message) {}

    bool read16(std::size_t& offset, std::uint16_t& value) const {
        if (offset + 2 > m_message.size()) {
            return false;
        }
        value = static_cast<std::uint16_t>(m_message[offset] << 8 | m_message[offset + 1]);
        offset += 2;
        return true;
    }

    bool read32(std::size_t& offset, std::uint32_t& value) const {
        std::uint16_t high = 0;
        std::uint16_t low = 0;
        if (!read16(offset, high) || !read16(offset, low)) {
            return false;
        }
        value = static_cast<std::uint32_t>(high) << 16 | low;
        return true;
    }

    // A possibly compressed name; `offset` moves past it in the record.
    bool readName(std::size_t& offset, std::string& name) const {
        name.clear();
        std::size_t cursor = offset;
        bool jumped = false;
        for (int steps = 0; steps < 128; ++steps) {
            if (cursor >= m_message.size()) {
                return false;
            }
            const std::uint8_t length = m_message[cursor];
            if ((length & 0xc0) == 0xc0) {
                if (cursor + 1 >= m_message.size()) {
                    return false;
                }
                const std::size_t target =
                    static_cast<std::size_t>(length & 0x3f) << 8 | m_message[cursor + 1];
                // Pointers go back only; anything else can loop.
                if (target >= cursor) {
                    return false;
                }
                if (!jumped) {
                    offset = cursor + 2;
                    jumped = true;
                }
                cursor = target;
                continue;
            }
            if ((length & 0xc0) != 0) {
                return false;
            }
            if (length == 0) {
                if (!jumped) {
                    offset = cursor + 1;
                }
                return name.size() <= 253;
            }
            if (cursor + 1 + length > m_message.size()) {
                return false;
            }
            if (!name.empty()) {
                name.push_back('.');
            }
            for (std::size_t i = 0; i < length; ++i) {
                const auto character = m_message[cursor + 1 + i];
                name.push_back(std::isprint(character) && character != '.'
                                   ? static_cast<char>(std::tolower(character))
                                   : '?');
            }
            cursor += 1 + length;
        }
        return false;
    }

private:
    std::span<const std::uint8_t> m_message;
};

}  // namespace

std::optional<DNSResponse> DNSResponse::parse(std::span<const std::uint8_t> message) {
    if (message.size() < 12) {
        return std::nullopt;
    }
    const Reader reader(message);
    std::size_t offset = 2;
    std::uint16_t flags = 0;
    std::uint16_t questions = 0;
    std::uint16_t answers = 0;
    reader.read16(offset, flags);
    reader.read16(offset, questions);
    reader.read16(offset, answers);
    offset = 12;
    const bool isResponse = (flags & 0x8000) != 0;
    const int opcode = (flags >> 11) & 0x0f;
    const int responseCode = flags & 0x000f;
    if (!isResponse || opcode != 0 || responseCode != 0 || questions != 1) {
        return std::nullopt;
    }
    DNSResponse response;
    std::uint16_t questionType = 0;
    std::uint16_t questionClass = 0;
    if (!reader.readName(offset, response.questionName) || response.questionName.empty() ||
        !reader.read16(offset, questionType) || !reader.read16(offset, questionClass)) {
        return std::nullopt;
    }
    std::set<std::string> names{response.questionName};
    for (std::uint16_t index = 0; index < answers; ++index) {
        std::string owner;
        std::uint16_t type = 0;
        std::uint16_t recordClass = 0;
        std::uint32_t timeToLive = 0;
        std::uint16_t length = 0;
        if (!reader.readName(offset, owner) || !reader.read16(offset, type) ||
            !reader.read16(offset, recordClass) || !reader.read32(offset, timeToLive) ||
            !reader.read16(offset, length) || offset + length > message.size()) {
            return std::nullopt;
        }
        const std::size_t data = offset;
        offset += length;
        if (recordClass != kClassIN || names.count(owner) == 0) {
            continue;
        }
        if (type == kTypeCNAME) {
            std::size_t cursor = data;
            std::string target;
            if (!reader.readName(cursor, target)) {
                return std::nullopt;
            }
            names.insert(target);
        } else if ((type == kTypeA && length == 4) || (type == kTypeAAAA && length == 16)) {
            const int family = type == kTypeA ? AF_INET : AF_INET6;
            response.addresses.push_back(
                {ipAddressText(family, message.data() + data), timeToLive});
        }
    }
    return response;
}

}  // namespace tarnwick
