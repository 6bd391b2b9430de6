#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// One fuzzing input through the whole reader: universal table, every slice's image, sections,
// C strings and the code-signature location. Returns 0, as a libFuzzer entry does; a fuzz target
// calls it from LLVMFuzzerTestOneInput.
namespace MachOFuzz {
int fuzzOne(const std::uint8_t* data, std::size_t size);
}

}  // namespace tarnwick
