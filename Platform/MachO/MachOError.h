#pragma once

#include <string>

namespace tarnwick {

// Why an executable could not be read. Executables come from anywhere on the disk, so every
// malformed or truncated structure ends here instead of in a read past the end.
struct MachOError {
    enum class Code {
        cannotOpen,     // the file cannot be opened or mapped
        notMachO,       // no Mach-O or universal magic number
        truncated,      // a structure reaches past the end of the bytes
        malformed,      // sizes, counts or offsets that contradict each other
        noSuchSection,  // the image has no section of that name
    };
    Code code = Code::malformed;
    std::string message;
};

}  // namespace tarnwick
