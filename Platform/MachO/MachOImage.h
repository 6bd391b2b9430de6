#pragma once

#include "FatBinary.h"
#include "Foundation/Result.h"
#include "MachOError.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

namespace LoadCommandType {
inline constexpr std::uint32_t segment = 0x1;
inline constexpr std::uint32_t segment64 = 0x19;
inline constexpr std::uint32_t codeSignature = 0x1d;
}  // namespace LoadCommandType

struct LoadCommand {
    std::uint32_t command = 0;
    // From the start of the image.
    std::size_t offset = 0;
    std::uint32_t size = 0;
};

struct MachOSection {
    std::string segmentName;
    std::string name;
    std::uint64_t address = 0;
    std::uint64_t size = 0;
    // From the start of the image; meaningless for zero-fill sections.
    std::uint32_t offset = 0;
    std::uint32_t flags = 0;

    // The section type (low byte of the flags): zero-fill sections have no bytes in the file.
    bool hasFileContents() const;
};

// Where the code signature lies, from the start of the image.
struct CodeSignatureLocation {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// One thin Mach-O image (32 or 64 bit, either byte order) inside a file's bytes: its header, load
// commands and sections, all checked against the image's bounds when it is opened, so later
// reads only follow numbers that were already found to fit.
class MachOImage {
public:
    // The image at `slice` of `file`; the bytes must outlive the image (a MemoryMap).
    static Result<MachOImage, MachOError> parse(std::span<const std::uint8_t> file,
                                                ImageSlice slice);
    static Result<MachOImage, MachOError> parse(std::span<const std::uint8_t> file) {
        return parse(file, ImageSlice{0, file.size()});
    }

    bool is64Bit() const { return m_is64Bit; }
    bool isBigEndian() const { return m_bigEndian; }
    std::uint32_t cputype() const { return m_cputype; }
    std::uint32_t cpusubtype() const { return m_cpusubtype; }
    std::uint32_t filetype() const { return m_filetype; }

    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    const std::vector<LoadCommand>& loadCommands() const { return m_loadCommands; }
    // In load-command order.
    const std::vector<MachOSection>& sections() const { return m_sections; }
    const MachOSection* section(std::string_view name) const;
    std::optional<CodeSignatureLocation> codeSignature() const { return m_codeSignature; }

    // The bytes of a section that has contents in the file.
    Result<std::span<const std::uint8_t>, MachOError> contents(const MachOSection& section) const;

    // The NUL-terminated strings of the "__cstring" section, in section order. Empty strings
    // (alignment padding) are left out, and so are trailing bytes without a terminator.
    Result<std::vector<std::string_view>, MachOError> cStrings() const;
    static std::vector<std::string_view> splitCStrings(std::span<const std::uint8_t> bytes);

private:
    std::span<const std::uint8_t> m_bytes;
    bool m_is64Bit = false;
    bool m_bigEndian = false;
    std::uint32_t m_cputype = 0;
    std::uint32_t m_cpusubtype = 0;
    std::uint32_t m_filetype = 0;
    std::vector<LoadCommand> m_loadCommands;
    std::vector<MachOSection> m_sections;
    std::optional<CodeSignatureLocation> m_codeSignature;
};

}  // namespace tarnwick
