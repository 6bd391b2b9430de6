#pragma once

#include "CipherError.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarnwick {

// Encrypts a log payload for the remote log service: AES-256 in CBC mode with PKCS #7 padding,
// keyed by the UTF-8 bytes of a 32-byte key text. The IV is 16 random letters and digits whose
// bytes are the IV itself; they travel in clear in front of the Base64 ciphertext, so the service
// needs only the key to decrypt.
class AES256CBC {
public:
    // Draws 64 uniformly random bits.
    using RandomSource = std::function<Result<std::uint64_t, CipherError>()>;

    static constexpr std::size_t keyLength = 32;
    static constexpr std::size_t ivLength = 16;
    static constexpr std::string_view ivAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

    AES256CBC() = delete;

    // The IV text followed directly by the standard Base64 text of the ciphertext. Fails for an
    // empty plain text and for a key whose UTF-8 form is not exactly 32 bytes: a key is never
    // padded or cut to fit.
    static Result<std::string, CipherError> encryptedText(std::string_view plain,
                                                          std::string_view key);
    static Result<std::string, CipherError> encryptedText(std::string_view plain,
                                                          std::string_view key,
                                                          const RandomSource& random);

    // The Base64 text of the ciphertext of `plain` under the bytes of `key` and `iv`.
    static Result<std::string, CipherError> encryptToBase64(std::string_view plain,
                                                            std::string_view key,
                                                            std::string_view iv);

    // 16 characters of the alphabet, each drawn independently and uniformly: a 64-bit value that
    // falls in the incomplete last run of the alphabet is drawn again, so no character is favoured.
    static Result<std::string, CipherError> makeIVText(const RandomSource& random);

    // The system's cryptographically secure random number generator.
    static Result<std::uint64_t, CipherError> systemRandom();
};

}  // namespace tarnwick
