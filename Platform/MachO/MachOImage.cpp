#include "MachOImage.h"

#include "Foundation/ByteReader.h"

#include <cstring>

namespace tarnwick {

namespace {

constexpr std::uint32_t magic32 = 0xfeedface;
constexpr std::uint32_t magic64 = 0xfeedfacf;
constexpr std::uint32_t swappedMagic32 = 0xcefaedfe;
constexpr std::uint32_t swappedMagic64 = 0xcffaedfe;

constexpr std::size_t header32Size = 28;
constexpr std::size_t header64Size = 32;
constexpr std::size_t segment32Size = 56;
constexpr std::size_t segment64Size = 72;
constexpr std::size_t section32Size = 68;
constexpr std::size_t section64Size = 80;

// More load commands than any linker writes; bounds the work a hostile header can ask for.
constexpr std::uint32_t maximumLoadCommands = 65536;

constexpr std::uint32_t sectionTypeMask = 0xff;
constexpr std::uint32_t zeroFill = 0x1;
constexpr std::uint32_t gbZeroFill = 0xc;
constexpr std::uint32_t threadLocalZeroFill = 0x12;

MachOError malformed(std::string message) {
    return MachOError{MachOError::Code::malformed, std::move(message)};
}

MachOError truncated(const std::string& what) {
    return MachOError{MachOError::Code::truncated, what + " reaches past the end of the image"};
}

// A fixed 16-byte name field: up to the first NUL.
std::string fixedName(std::string_view field) {
    const auto end = field.find('\0');
    return std::string(field.substr(0, end));
}

}  // namespace

bool MachOSection::hasFileContents() const {
    const auto type = flags & sectionTypeMask;
    return type != zeroFill && type != gbZeroFill && type != threadLocalZeroFill;
}

Result<MachOImage, MachOError> MachOImage::parse(std::span<const std::uint8_t> file,
                                                 ImageSlice slice) {
    if (slice.offset > file.size() || slice.size > file.size() - slice.offset) {
        return Failure{truncated("the slice")};
    }
    MachOImage image;
    image.m_bytes = file.subspan(slice.offset, slice.size);
    const ByteReader reader(image.m_bytes);

    const auto magic = reader.u32(0, ByteReader::Order::little);
    if (!magic) {
        return Failure{MachOError{MachOError::Code::notMachO, "too short for a Mach-O header"}};
    }
    switch (*magic) {
        case magic32:
            break;
        case magic64:
            image.m_is64Bit = true;
            break;
        case swappedMagic32:
            image.m_bigEndian = true;
            break;
        case swappedMagic64:
            image.m_is64Bit = true;
            image.m_bigEndian = true;
            break;
        default:
            return Failure{MachOError{MachOError::Code::notMachO, "no Mach-O magic number"}};
    }
    const auto order = image.m_bigEndian ? ByteReader::Order::big : ByteReader::Order::little;
    const std::size_t headerSize = image.m_is64Bit ? header64Size : header32Size;
    if (!reader.contains(0, headerSize)) {
        return Failure{truncated("the Mach-O header")};
    }
    image.m_cputype = *reader.u32(4, order);
    image.m_cpusubtype = *reader.u32(8, order);
    image.m_filetype = *reader.u32(12, order);
    const std::uint32_t commandCount = *reader.u32(16, order);
    const std::uint32_t commandsSize = *reader.u32(20, order);
    if (commandCount > maximumLoadCommands) {
        return Failure{malformed("too many load commands")};
    }
    if (!reader.contains(headerSize, commandsSize)) {
        return Failure{truncated("the load commands")};
    }
    const std::size_t commandsEnd = headerSize + commandsSize;

    std::size_t at = headerSize;
    for (std::uint32_t index = 0; index < commandCount; ++index) {
        if (at + 8 > commandsEnd) {
            return Failure{truncated("load command " + std::to_string(index))};
        }
        const std::uint32_t command = *reader.u32(at, order);
        const std::uint32_t size = *reader.u32(at + 4, order);
        if (size < 8 || size > commandsEnd - at) {
            return Failure{malformed("load command " + std::to_string(index) + " has size " +
                                     std::to_string(size))};
        }
        image.m_loadCommands.push_back(LoadCommand{command, at, size});

        if (command == LoadCommandType::segment || command == LoadCommandType::segment64) {
            const bool wide = command == LoadCommandType::segment64;
            const std::size_t segmentSize = wide ? segment64Size : segment32Size;
            const std::size_t sectionSize = wide ? section64Size : section32Size;
            if (size < segmentSize) {
                return Failure{malformed("segment command too short")};
            }
            const std::uint32_t sectionCount = *reader.u32(at + segmentSize - 8, order);
            if (sectionCount > (size - segmentSize) / sectionSize) {
                return Failure{malformed("segment names more sections than it holds")};
            }
            for (std::uint32_t s = 0; s < sectionCount; ++s) {
                const std::size_t base = at + segmentSize + s * sectionSize;
                MachOSection section;
                section.name = fixedName(*reader.text(base, 16));
                section.segmentName = fixedName(*reader.text(base + 16, 16));
                if (wide) {
                    section.address = *reader.u64(base + 32, order);
                    section.size = *reader.u64(base + 40, order);
                    section.offset = *reader.u32(base + 48, order);
                    section.flags = *reader.u32(base + 64, order);
                } else {
                    section.address = *reader.u32(base + 32, order);
                    section.size = *reader.u32(base + 36, order);
                    section.offset = *reader.u32(base + 40, order);
                    section.flags = *reader.u32(base + 56, order);
                }
                image.m_sections.push_back(std::move(section));
            }
        } else if (command == LoadCommandType::codeSignature) {
            if (size < 16) {
                return Failure{malformed("code signature command too short")};
            }
            image.m_codeSignature =
                CodeSignatureLocation{*reader.u32(at + 8, order), *reader.u32(at + 12, order)};
        }
        at += size;
    }
    return image;
}

const MachOSection* MachOImage::section(std::string_view name) const {
    for (const auto& section : m_sections) {
        if (section.name == name) {
            return &section;
        }
    }
    return nullptr;
}

Result<std::span<const std::uint8_t>, MachOError> MachOImage::contents(
    const MachOSection& section) const {
    if (!section.hasFileContents()) {
        return std::span<const std::uint8_t>();
    }
    const auto bytes = ByteReader(m_bytes).span(section.offset, section.size);
    if (!bytes) {
        return Failure{truncated("section " + section.segmentName + "," + section.name)};
    }
    return *bytes;
}

Result<std::vector<std::string_view>, MachOError> MachOImage::cStrings() const {
    const MachOSection* strings = section("__cstring");
    if (strings == nullptr) {
        return Failure{MachOError{MachOError::Code::noSuchSection, "no __cstring section"}};
    }
    auto bytes = contents(*strings);
    if (!bytes) {
        return Failure{bytes.error()};
    }
    return splitCStrings(*bytes);
}

std::vector<std::string_view> MachOImage::splitCStrings(std::span<const std::uint8_t> bytes) {
    std::vector<std::string_view> strings;
    const char* cursor = reinterpret_cast<const char*>(bytes.data());
    const char* end = cursor + bytes.size();
    while (cursor < end) {
        const void* terminator = std::memchr(cursor, '\0', static_cast<std::size_t>(end - cursor));
        if (terminator == nullptr) {
            break;
        }
        const auto* stop = static_cast<const char*>(terminator);
        if (stop != cursor) {
            strings.emplace_back(cursor, static_cast<std::size_t>(stop - cursor));
        }
        cursor = stop + 1;
    }
    return strings;
}

}  // namespace tarnwick
