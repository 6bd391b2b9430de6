#include "AES256CBC.h"

#include "AESCipher.h"
#include "Foundation/Base64.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/random.h>

namespace tarnwick {

namespace {

AESCipher::Bytes bytesOf(std::string_view text) {
    return AESCipher::Bytes(text.begin(), text.end());
}

}  // namespace

Result<std::string, CipherError> AES256CBC::encryptedText(std::string_view plain,
                                                          std::string_view key) {
    return encryptedText(plain, key, systemRandom);
}

Result<std::string, CipherError> AES256CBC::encryptedText(std::string_view plain,
                                                          std::string_view key,
                                                          const RandomSource& random) {
    if (plain.empty()) {
        return Failure{CipherError{CipherError::Code::emptyPlainText, "nothing to encrypt"}};
    }
    if (key.size() != keyLength) {
        return Failure{CipherError{CipherError::Code::keyLength,
                                   "the encryption key is " + std::to_string(key.size()) +
                                       " bytes long in UTF-8; it must be exactly 32"}};
    }
    auto iv = makeIVText(random);
    if (!iv) {
        return Failure{iv.error()};
    }
    auto encrypted = encryptToBase64(plain, key, *iv);
    if (!encrypted) {
        std::fputs("an error occured while encrypting\n", stdout);
        std::fflush(stdout);
        return Failure{encrypted.error()};
    }
    return *iv + *encrypted;
}

Result<std::string, CipherError> AES256CBC::encryptToBase64(std::string_view plain,
                                                            std::string_view key,
                                                            std::string_view iv) {
    const AESCipher cipher(bytesOf(key), bytesOf(iv));
    auto encrypted = cipher.encryptBytes(bytesOf(plain));
    if (!encrypted) {
        return Failure{encrypted.error()};
    }
    return base64Encode(encrypted->data(), encrypted->size());
}

Result<std::string, CipherError> AES256CBC::makeIVText(const RandomSource& random) {
    constexpr std::uint64_t alphabetSize = ivAlphabet.size();
    // The largest multiple of the alphabet's size that 64 bits can hold: values at or above it
    // would favour the first characters.
    constexpr std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() -
                                    std::numeric_limits<std::uint64_t>::max() % alphabetSize;
    std::string text;
    text.reserve(ivLength);
    while (text.size() < ivLength) {
        auto value = random();
        if (!value) {
            return Failure{value.error()};
        }
        if (*value >= limit) {
            continue;
        }
        text.push_back(ivAlphabet[*value % alphabetSize]);
    }
    return text;
}

Result<std::uint64_t, CipherError> AES256CBC::systemRandom() {
    std::uint64_t value = 0;
    auto* cursor = reinterpret_cast<unsigned char*>(&value);
    std::size_t left = sizeof value;
    while (left > 0) {
        const ssize_t got = ::getrandom(cursor, left, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure{CipherError{CipherError::Code::randomSource,
                                       std::string("getrandom failed: ") + std::strerror(errno)}};
        }
        cursor += got;
        left -= static_cast<std::size_t>(got);
    }
    return value;
}

}  // namespace tarnwick
