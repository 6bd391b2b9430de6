#pragma once

#include <string>

namespace tarnwick {

// Why a file operation failed. `notFound` is kept apart because callers read a missing file as an
// empty one, but must not treat a file they could not read that way.
struct FileError {
    enum class Code { notFound, failed };

    Code code = Code::failed;
    // A sentence for the log that names the file.
    std::string message;
};

}  // namespace tarnwick
