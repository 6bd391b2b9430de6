#pragma once

#include "CipherError.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tarnwick {

// AES (FIPS-197) in CBC mode with PKCS #7 padding, encryption only. One object serves one call.
// The block function is the crypto library's, which uses the processor's AES instructions, or a
// constant-time software form where there are none, so no key-dependent table lookups leak timing.
class AESCipher {
public:
    using Bytes = std::vector<std::uint8_t>;
    static constexpr std::size_t blockSize = 16;

    // `key` of 16, 24 or 32 bytes selects AES-128, -192 or -256.
    AESCipher(Bytes key, std::optional<Bytes> iv);

    // The padded plain text, encrypted block by block, each block first XORed with the previous
    // ciphertext block (the IV for the first): a multiple of 16 bytes, always at least 16.
    Result<Bytes, CipherError> encryptBytes(const Bytes& plain) const;

private:
    Bytes m_key;
    std::optional<Bytes> m_iv;
};

}  // namespace tarnwick
