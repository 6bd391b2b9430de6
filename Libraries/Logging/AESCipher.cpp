#include "AESCipher.h"

#include <openssl/evp.h>

#include <limits>
#include <memory>
#include <string>

namespace tarnwick {

namespace {

struct ContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

const EVP_CIPHER* cipherForKeyLength(std::size_t length) {
    switch (length) {
        case 16:
            return EVP_aes_128_cbc();
        case 24:
            return EVP_aes_192_cbc();
        case 32:
            return EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

Failure<CipherError> cipherFailure(const std::string& step) {
    return Failure{CipherError{CipherError::Code::cipher, "AES-CBC failed while " + step}};
}

}  // namespace

AESCipher::AESCipher(Bytes key, std::optional<Bytes> iv)
    : m_key(std::move(key)), m_iv(std::move(iv)) {}

Result<AESCipher::Bytes, CipherError> AESCipher::encryptBytes(const Bytes& plain) const {
    const EVP_CIPHER* cipher = cipherForKeyLength(m_key.size());
    if (cipher == nullptr) {
        return Failure{CipherError{
            CipherError::Code::keyLength,
            "an AES key is 16, 24 or 32 bytes long, not " + std::to_string(m_key.size())}};
    }
    if (!m_iv) {
        return Failure{CipherError{CipherError::Code::missingInitializationVector,
                                   "CBC needs an initialization vector"}};
    }
    if (m_iv->size() != blockSize) {
        return Failure{CipherError{
            CipherError::Code::initializationVectorLength,
            "an initialization vector is 16 bytes long, not " + std::to_string(m_iv->size())}};
    }
    if (plain.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) - blockSize) {
        return cipherFailure("taking a plain text too large for one call");
    }

    std::unique_ptr<EVP_CIPHER_CTX, ContextDeleter> context(EVP_CIPHER_CTX_new());
    if (!context) {
        return cipherFailure("creating its context");
    }
    // Padding stays on: PKCS #7 adds 1 to 16 bytes, a whole block when the text fills its last.
    if (EVP_EncryptInit_ex(context.get(), cipher, nullptr, m_key.data(), m_iv->data()) != 1) {
        return cipherFailure("setting key and IV");
    }
    Bytes output(plain.size() + blockSize);
    int written = 0;
    if (EVP_EncryptUpdate(context.get(), output.data(), &written, plain.data(),
                          static_cast<int>(plain.size())) != 1) {
        return cipherFailure("encrypting");
    }
    int finalWritten = 0;
    if (EVP_EncryptFinal_ex(context.get(), output.data() + written, &finalWritten) != 1) {
        return cipherFailure("padding");
    }
    output.resize(static_cast<std::size_t>(written + finalWritten));
    return output;
}

}  // namespace tarnwick
