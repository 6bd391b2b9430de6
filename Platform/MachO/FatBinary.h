#pragma once

#include "Foundation/Result.h"
#include "MachOError.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick {

// CPU types of the architectures a reader cares about.
namespace CPUType {
inline constexpr std::uint32_t x86 = 7;
inline constexpr std::uint32_t x86_64 = 0x01000007;
inline constexpr std::uint32_t arm = 12;
inline constexpr std::uint32_t arm64 = 0x0100000c;
}  // namespace CPUType

// One slice of a universal file: which processor it is for and where its image lies.
struct FatArch {
    std::uint32_t cputype = 0;
    std::uint32_t cpusubtype = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t align = 0;
};

// The universal ("fat") wrapper: a big-endian table of slices, with 32-bit or 64-bit offsets.
// Every slice lies inside the file; a table that says otherwise is refused whole.
class FatBinary {
public:
    // More slices than any real file holds; Java class files share the magic number and give
    // their version here.
    static constexpr std::uint32_t maximumArchitectures = 64;

    // notMachO when the bytes do not start with a universal magic number.
    static Result<FatBinary, MachOError> parse(std::span<const std::uint8_t> file);

    const std::vector<FatArch>& architectures() const { return m_architectures; }

private:
    std::vector<FatArch> m_architectures;
};

// Where the image to read lies in a file: the x86-64 slice of a universal file, else its first
// slice, or the whole file when it is a thin image.
struct ImageSlice {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
Result<ImageSlice, MachOError> preferredSlice(std::span<const std::uint8_t> file,
                                              std::uint32_t preferredCPUType = CPUType::x86_64);
// Every image in the file, in table order: one for a thin file.
Result<std::vector<ImageSlice>, MachOError> allSlices(std::span<const std::uint8_t> file);

}  // namespace tarnwick
