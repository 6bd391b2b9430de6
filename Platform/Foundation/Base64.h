#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Standard base64 with padding (RFC 4648).
std::string base64Encode(const std::uint8_t* bytes, std::size_t length);
std::string base64Encode(std::string_view bytes);
// Nothing when the text is not canonical padded base64.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

}  // namespace tarnwick
