#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// Writes small Mach-O executables for tests and benchmarks: one segment with a "__cstring"
// section holding the chosen strings, and optionally a code signature blob behind it.
struct MachOFixtureImage {
    std::uint32_t cputype = 0x01000007;  // x86-64
    bool is64Bit = true;
    bool bigEndian = false;
    std::vector<std::string> cStrings;
    // The section's name; anything but "__cstring" gives an image without one.
    std::string sectionName = "__cstring";
    // The bytes of an embedded signature (a SuperBlob), pointed at by LC_CODE_SIGNATURE.
    std::optional<std::string> codeSignature;
};

std::string buildThinMachO(const MachOFixtureImage& image);

struct MachOFixtureSlice {
    std::uint32_t cputype = 0;
    std::string image;
};
// A universal file with the slices in order, each aligned to 4096 bytes; `wide` writes the
// 64-bit slice table.
std::string buildFatMachO(const std::vector<MachOFixtureSlice>& slices, bool wide = false);

// Overwrites four bytes with a big-endian number, to corrupt a fixture on purpose.
void putBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value);

}  // namespace tarnwick::testing
