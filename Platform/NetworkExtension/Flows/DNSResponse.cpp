#include "DNSResponse.h"

#include "Foundation/ByteReader.h"
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

constexpr auto kBig = ByteReader::Order::big;

// A possibly compressed name at `offset`; `offset` moves past it in the record.
bool readName(const ByteReader& reader, std::size_t& offset, std::string& name) {
    name.clear();
    std::size_t cursor = offset;
    bool jumped = false;
    for (int steps = 0; steps < 128; ++steps) {
        const auto length = reader.u8(cursor);
        if (!length) {
            return false;
        }
        if ((*length & 0xc0) == 0xc0) {
            const auto low = reader.u8(cursor + 1);
            if (!low) {
                return false;
            }
            const std::size_t target = static_cast<std::size_t>(*length & 0x3f) << 8 | *low;
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
        if ((*length & 0xc0) != 0) {
            return false;
        }
        if (*length == 0) {
            if (!jumped) {
                offset = cursor + 1;
            }
            return name.size() <= 253;
        }
        const auto label = reader.span(cursor + 1, *length);
        if (!label) {
            return false;
        }
        if (!name.empty()) {
            name.push_back('.');
        }
        for (const auto character : *label) {
            name.push_back(std::isprint(character) && character != '.'
                               ? static_cast<char>(std::tolower(character))
                               : '?');
        }
        cursor += 1 + *length;
    }
    return false;
}

}  // namespace

std::optional<DNSResponse> DNSResponse::parse(std::span<const std::uint8_t> message) {
    const ByteReader reader(message);
    const auto flags = reader.u16(2, kBig);
    const auto questions = reader.u16(4, kBig);
    const auto answers = reader.u16(6, kBig);
    if (!flags || !questions || !answers || !reader.contains(0, 12)) {
        return std::nullopt;
    }
    const bool isResponse = (*flags & 0x8000) != 0;
    const int opcode = (*flags >> 11) & 0x0f;
    const int responseCode = *flags & 0x000f;
    if (!isResponse || opcode != 0 || responseCode != 0 || *questions != 1) {
        return std::nullopt;
    }
    DNSResponse response;
    std::size_t offset = 12;
    if (!readName(reader, offset, response.questionName) || response.questionName.empty() ||
        !reader.contains(offset, 4)) {
        return std::nullopt;
    }
    offset += 4;  // type and class of the question
    std::set<std::string> names{response.questionName};
    for (std::uint16_t index = 0; index < *answers; ++index) {
        if (response.addresses.size() >= kMaximumAddresses) {
            break;
        }
        std::string owner;
        if (!readName(reader, offset, owner)) {
            return std::nullopt;
        }
        const auto type = reader.u16(offset, kBig);
        const auto recordClass = reader.u16(offset + 2, kBig);
        const auto timeToLive = reader.u32(offset + 4, kBig);
        const auto length = reader.u16(offset + 8, kBig);
        if (!type || !recordClass || !timeToLive || !length ||
            !reader.contains(offset + 10, *length)) {
            return std::nullopt;
        }
        const std::size_t data = offset + 10;
        offset = data + *length;
        if (*recordClass != kClassIN || names.count(owner) == 0) {
            continue;
        }
        if (*type == kTypeCNAME) {
            std::size_t cursor = data;
            std::string target;
            if (!readName(reader, cursor, target)) {
                return std::nullopt;
            }
            names.insert(target);
        } else if ((*type == kTypeA && *length == 4) || (*type == kTypeAAAA && *length == 16)) {
            const int family = *type == kTypeA ? AF_INET : AF_INET6;
            response.addresses.push_back(
                {ipAddressText(family, message.data() + data), *timeToLive});
        }
    }
    return response;
}

}  // namespace tarnwick
