#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::fuzz {

// One fuzzing input through the whole reader: universal table, every slice's image, sections,
// C strings and the code-signature location. Returns 0, as a libFuzzer entry does; a fuzz target
// calls it from LLVMFuzzerTestOneInput.
int fuzzOne(const std::uint8_t* data, std::size_t size);

}  // namespace tarnwick::fuzz
