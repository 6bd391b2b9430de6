#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::fuzz {

// One fuzzing input read as an embedded signature (SuperBlob, CodeDirectories, CMS) and, when it
// decodes, each certificate's subject countries. Returns 0, as a libFuzzer entry does; a fuzz
// target calls it from LLVMFuzzerTestOneInput.
int fuzzOne(const std::uint8_t* data, std::size_t size);

}  // namespace tarnwick::fuzz
