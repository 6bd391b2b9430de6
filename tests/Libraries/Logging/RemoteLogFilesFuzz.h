#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::fuzz {

// One fuzzing input for the readers of the remote destinations' files (entry lines and the
// analytics record). Never crashes, whatever the bytes; always returns 0.
int fuzzOne(const std::uint8_t* data, std::size_t size);

}  // namespace tarnwick::fuzz
