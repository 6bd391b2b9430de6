#pragma once

#include <string>

namespace tarnwick {

// Why no signing information could be had for a piece of code.
struct CodeSigningError {
    enum class Code {
        cannotRead,  // no executable, or it cannot be mapped or parsed as Mach-O
        notSigned,   // an image without a code signature
        malformed,   // a signature blob whose sizes, offsets or magic numbers do not add up
        badCMS,      // the CMS signature or a certificate does not decode
    };
    Code code = Code::malformed;
    std::string message;
};

}  // namespace tarnwick
