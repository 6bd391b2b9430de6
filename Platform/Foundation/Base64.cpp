#include "Base64.h"

#include <array>

namespace tarnwick {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeDecodeTable() {
    std::array<int, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    }
    return table;
}

constexpr auto kDecode = makeDecodeTable();

}  // namespace

std::string base64Encode(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    text.reserve((length + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        text += kAlphabet[(n >> 18) & 63];
        text += kAlphabet[(n >> 12) & 63];
        text += kAlphabet[(n >> 6) & 63];
        text += kAlphabet[n & 63];
    }
    if (const std::size_t rest = length - i; rest > 0) {
        std::uint32_t n = bytes[i] << 16;
        if (rest == 2) {
            n |= bytes[i + 1] << 8;
        }
        text += kAlphabet[(n >> 18) & 63];
        text += kAlphabet[(n >> 12) & 63];
        text += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

std::string base64Encode(std::string_view bytes) {
    return base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        std::uint32_t n = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && last && j >= 2) {
                ++padding;
                n <<= 6;
                continue;
            }
            const int v = kDecode[static_cast<unsigned char>(c)];
            if (v < 0 || padding > 0) {
                return std::nullopt;
            }
            n = (n << 6) | static_cast<std::uint32_t>(v);
        }
        bytes.push_back(static_cast<std::uint8_t>(n >> 16));
        if (padding < 2) {
            bytes.push_back(static_cast<std::uint8_t>(n >> 8));
        }
        if (padding < 1) {
            bytes.push_back(static_cast<std::uint8_t>(n));
        }
    }
    return bytes;
}

}  // namespace tarnwick
