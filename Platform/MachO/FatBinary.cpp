#include "FatBinary.h"

#include "Foundation/ByteReader.h"

#include <string>

namespace tarnwick {

namespace {

constexpr std::uint32_t fatMagic = 0xcafebabe;
constexpr std::uint32_t fatMagic64 = 0xcafebabf;
constexpr std::size_t fatHeaderSize = 8;
constexpr std::size_t fatArchSize = 20;
constexpr std::size_t fatArch64Size = 32;

MachOError truncated(const std::string& what) {
    return MachOError{MachOError::Code::truncated, what + " reaches past the end of the file"};
}

}  // namespace

Result<FatBinary, MachOError> FatBinary::parse(std::span<const std::uint8_t> file) {
    const ByteReader reader(file);
    constexpr auto big = ByteReader::Order::big;
    const auto magic = reader.u32(0, big);
    if (!magic || (*magic != fatMagic && *magic != fatMagic64)) {
        return Failure{MachOError{MachOError::Code::notMachO, "no universal header"}};
    }
    const bool wide = *magic == fatMagic64;
    const auto count = reader.u32(4, big);
    if (!count) {
        return Failure{truncated("the universal header")};
    }
    if (*count == 0 || *count > maximumArchitectures) {
        return Failure{MachOError{MachOError::Code::malformed,
                                  "universal header with " + std::to_string(*count) + " slices"}};
    }
    const std::size_t entrySize = wide ? fatArch64Size : fatArchSize;
    FatBinary binary;
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::size_t at = fatHeaderSize + index * entrySize;
        if (!reader.contains(at, entrySize)) {
            return Failure{truncated("the slice table")};
        }
        FatArch arch;
        arch.cputype = *reader.u32(at, big);
        arch.cpusubtype = *reader.u32(at + 4, big);
        if (wide) {
            arch.offset = *reader.u64(at + 8, big);
            arch.size = *reader.u64(at + 16, big);
            arch.align = *reader.u32(at + 24, big);
        } else {
            arch.offset = *reader.u32(at + 8, big);
            arch.size = *reader.u32(at + 12, big);
            arch.align = *reader.u32(at + 16, big);
        }
        if (arch.offset < fatHeaderSize + *count * entrySize || arch.size == 0 ||
            !reader.contains(arch.offset, arch.size)) {
            return Failure{MachOError{MachOError::Code::malformed,
                                      "slice " + std::to_string(index) +
                                          " lies outside the file or over the slice table"}};
        }
        binary.m_architectures.push_back(arch);
    }
    return binary;
}

Result<ImageSlice, MachOError> preferredSlice(std::span<const std::uint8_t> file,
                                              std::uint32_t preferredCPUType) {
    auto fat = FatBinary::parse(file);
    if (!fat) {
        if (fat.error().code == MachOError::Code::notMachO) {
            return ImageSlice{0, file.size()};
        }
        return Failure{fat.error()};
    }
    // The slice for the preferred processor, else the first: an image built for another processor
    // still names the same strings, and the wrapper itself names none.
    const auto& architectures = fat->architectures();
    const FatArch* chosen = &architectures.front();
    for (const auto& arch : architectures) {
        if (arch.cputype == preferredCPUType) {
            chosen = &arch;
            break;
        }
    }
    return ImageSlice{chosen->offset, chosen->size};
}

Result<std::vector<ImageSlice>, MachOError> allSlices(std::span<const std::uint8_t> file) {
    auto fat = FatBinary::parse(file);
    if (!fat) {
        if (fat.error().code == MachOError::Code::notMachO) {
            return std::vector<ImageSlice>{ImageSlice{0, file.size()}};
        }
        return Failure{fat.error()};
    }
    std::vector<ImageSlice> slices;
    for (const auto& arch : fat->architectures()) {
        slices.push_back(ImageSlice{arch.offset, arch.size});
    }
    return slices;
}

}  // namespace tarnwick
