#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::testing {

// AES-CBC decryption with PKCS #7 padding removed, as the receiving service does it; nothing when
// the key, IV or padding do not fit.
std::optional<std::string> decryptCBC(const std::vector<std::uint8_t>& ciphertext,
                                      std::string_view key, std::string_view iv);

// An encrypted payload (16 characters of IV, then Base64 ciphertext) back to its plain text.
std::optional<std::string> decryptPayload(std::string_view payload, std::string_view key);

std::vector<std::uint8_t> bytesFromHex(std::string_view hex);
std::string hexFromBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace tarnwick::testing
