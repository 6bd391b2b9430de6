#include "PayloadDecryption.h"

#include "Foundation/Base64.h"

#include <openssl/evp.h>

#include <memory>

namespace tarnwick::testing {

std::optional<std::string> decryptCBC(const std::vector<std::uint8_t>& ciphertext,
                                      std::string_view key, std::string_view iv) {
    const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_cbc()
                               : key.size() == 24 ? EVP_aes_192_cbc()
                               : key.size() == 32 ? EVP_aes_256_cbc()
                                                  : nullptr;
    if (cipher == nullptr || iv.size() != 16) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(),
                                                                       EVP_CIPHER_CTX_free);
    std::string plain(ciphertext.size() + 16, '\0');
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    int written = 0;
    int finalWritten = 0;
    if (EVP_DecryptInit_ex(context.get(), cipher, nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()),
                           reinterpret_cast<const unsigned char*>(iv.data())) != 1 ||
        EVP_DecryptUpdate(context.get(), out, &written, ciphertext.data(),
                          static_cast<int>(ciphertext.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), out + written, &finalWritten) != 1) {
        return std::nullopt;
    }
    plain.resize(static_cast<std::size_t>(written + finalWritten));
    return plain;
}

std::optional<std::string> decryptPayload(std::string_view payload, std::string_view key) {
    if (payload.size() < 16) {
        return std::nullopt;
    }
    const auto ciphertext = base64Decode(payload.substr(16));
    if (!ciphertext) {
        return std::nullopt;
    }
    return decryptCBC(*ciphertext, key, payload.substr(0, 16));
}

std::vector<std::uint8_t> bytesFromHex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::string hexFromBytes(const std::vector<std::uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const auto byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

}  // namespace tarnwick::testing
