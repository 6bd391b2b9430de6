#pragma once

#include <string>

namespace tarnwick {

// Why the log payload cipher gave no ciphertext.
struct CipherError {
    enum class Code {
        emptyPlainText,               // there is nothing to encrypt
        keyLength,                    // the key is not the size the operation needs
        missingInitializationVector,  // CBC needs an IV and none was given
        initializationVectorLength,   // an IV that is not one block long
        randomSource,                 // the system's random number generator failed
        cipher,                       // the block cipher itself failed
    };

    Code code = Code::cipher;
    std::string message;
};

}  // namespace tarnwick
