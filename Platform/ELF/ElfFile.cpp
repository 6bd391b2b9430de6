#include "ElfFile.h"

#include "Foundation/ByteReader.h"
#include "Foundation/OutsideFile.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace tarnwick {

namespace {

constexpr std::uint32_t kNoBits = 8;  // SHT_NOBITS: no bytes in the file
constexpr std::uint64_t kAlloc = 0x2;
constexpr std::uint64_t kStrings = 0x20;
// A section-name table bigger than this is not one a linker wrote.
constexpr std::uint64_t kMaximumNameTableBytes = 1u << 20;

struct Layout {
    bool wide = false;
    ByteReader::Order order = ByteReader::Order::little;
};

struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

std::optional<SectionHeader> sectionHeader(const ByteReader& table, std::size_t at, Layout layout) {
    SectionHeader header;
    auto name = table.u32(at, layout.order);
    auto type = table.u32(at + 4, layout.order);
    if (!name || !type) {
        return std::nullopt;
    }
    header.name = *name;
    header.type = *type;
    if (layout.wide) {
        auto flags = table.u64(at + 8, layout.order);
        auto offset = table.u64(at + 24, layout.order);
        auto size = table.u64(at + 32, layout.order);
        if (!flags || !offset || !size) {
            return std::nullopt;
        }
        header.flags = *flags;
        header.offset = *offset;
        header.size = *size;
    } else {
        auto flags = table.u32(at + 8, layout.order);
        auto offset = table.u32(at + 16, layout.order);
        auto size = table.u32(at + 20, layout.order);
        if (!flags || !offset || !size) {
            return std::nullopt;
        }
        header.flags = *flags;
        header.offset = *offset;
        header.size = *size;
    }
    return header;
}

bool inFile(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

std::string_view nameAt(const std::vector<std::uint8_t>& names, std::uint32_t at) {
    if (at >= names.size()) {
        return {};
    }
    const auto* start = reinterpret_cast<const char*>(names.data() + at);
    std::size_t length = 0;
    while (at + length < names.size() && start[length] != '\0') {
        ++length;
    }
    return {start, length};
}

bool holdsStrings(const SectionHeader& header, std::string_view name) {
    if (header.type == kNoBits) {
        return false;
    }
    if (name == ".rodata" || name.starts_with(".rodata.")) {
        return true;
    }
    return (header.flags & kStrings) != 0 && (header.flags & kAlloc) != 0;
}

Failure<ElfError> failure(std::string message) {
    return Failure{ElfError{std::move(message)}};
}

}  // namespace

bool ElfFile::hasELFMagic(std::span<const std::uint8_t> head) {
    return head.size() >= 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' &&
           head[3] == 'F';
}

bool ElfFile::hasAppImageMagic(std::span<const std::uint8_t> head) {
    return hasELFMagic(head) && head.size() >= 11 && head[8] == 'A' && head[9] == 'I' &&
           (head[10] == 1 || head[10] == 2);
}

Result<ElfFile::Bytes, ElfError> ElfFile::stringData(const ReadAt& readAt, std::uint64_t fileSize,
                                                     std::uint64_t maximumBytes) {
    // Nothing to read is not a read: an empty span may have no address to read into.
    const auto read = [&readAt](std::uint64_t offset, std::span<std::uint8_t> out) {
        return out.empty() || readAt(offset, out);
    };
    std::vector<std::uint8_t> identification(64, 0);
    const std::size_t headerBytes = fileSize < 64 ? static_cast<std::size_t>(fileSize) : 64;
    identification.resize(headerBytes);
    if (!read(0, identification)) {
        return failure("cannot read the ELF header");
    }
    if (!hasELFMagic(identification) || identification.size() < 6) {
        return failure("not an ELF file");
    }
    Layout layout;
    if (identification[4] != 1 && identification[4] != 2) {
        return failure("unknown ELF class");
    }
    layout.wide = identification[4] == 2;
    if (identification[5] != 1 && identification[5] != 2) {
        return failure("unknown ELF byte order");
    }
    layout.order = identification[5] == 2 ? ByteReader::Order::big : ByteReader::Order::little;

    const ByteReader header(identification);
    if (identification.size() < (layout.wide ? 64u : 52u)) {
        return failure("truncated ELF header");
    }
    // Every field below lies inside the header just checked.
    const std::uint64_t tableOffset = layout.wide ? header.u64(0x28, layout.order).value_or(0)
                                                  : header.u32(0x20, layout.order).value_or(0);
    const std::uint16_t entrySize = header.u16(layout.wide ? 0x3a : 0x2e, layout.order).value_or(0);
    const std::uint16_t count = header.u16(layout.wide ? 0x3c : 0x30, layout.order).value_or(0);
    const std::uint16_t namesIndex =
        header.u16(layout.wide ? 0x3e : 0x32, layout.order).value_or(0);
    const std::size_t minimumEntry = layout.wide ? 64 : 40;
    if (count == 0 || tableOffset == 0) {
        return Bytes();  // no section table: nothing marked as strings
    }
    if (entrySize < minimumEntry || entrySize > 1024) {
        return failure("bad section header size");
    }
    const std::uint64_t tableBytes = std::uint64_t(count) * entrySize;
    if (!inFile(tableOffset, tableBytes, fileSize)) {
        return failure("section table outside the file");
    }
    std::vector<std::uint8_t> tableData(static_cast<std::size_t>(tableBytes));
    if (!read(tableOffset, tableData)) {
        return failure("cannot read the section table");
    }
    const ByteReader table(tableData);

    std::vector<std::uint8_t> names;
    if (namesIndex < count) {
        if (auto namesHeader = sectionHeader(table, std::size_t(namesIndex) * entrySize, layout);
            namesHeader && namesHeader->type != kNoBits &&
            namesHeader->size <= kMaximumNameTableBytes &&
            inFile(namesHeader->offset, namesHeader->size, fileSize)) {
            names.resize(static_cast<std::size_t>(namesHeader->size));
            if (!read(namesHeader->offset, names)) {
                return failure("cannot read the section names");
            }
        }
    }

    Bytes data;
    std::uint64_t budget = maximumBytes;
    for (std::size_t index = 0; index < count && budget > 0; ++index) {
        auto section = sectionHeader(table, index * entrySize, layout);
        if (!section || !holdsStrings(*section, nameAt(names, section->name)) ||
            !inFile(section->offset, section->size, fileSize) || section->size == 0) {
            continue;
        }
        const std::uint64_t take = section->size < budget ? section->size : budget;
        const std::size_t start = data.size();
        data.resize(start + static_cast<std::size_t>(take) + 1, '\0');
        std::span<std::uint8_t> out(reinterpret_cast<std::uint8_t*>(data.data()) + start,
                                    static_cast<std::size_t>(take));
        if (!read(section->offset, out)) {
            return failure("cannot read a string section");
        }
        budget -= take;
    }
    return data;
}

Result<ElfFile::Bytes, ElfError> ElfFile::stringDataOfFile(const std::filesystem::path& path,
                                                           std::uint64_t maximumBytes) {
    auto opened = OutsideFile::open(path, kMaximumFileBytes);
    if (!opened) {
        return failure(opened.error().message);
    }
    const int fd = opened->descriptor.get();
    // Positioned reads, not a mapping: a file cut short while we read gives a short read here
    // instead of a bus error in the middle of a check.
    const ReadAt read = [fd](std::uint64_t offset, std::span<std::uint8_t> out) {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t got = ::pread(fd, out.data() + done, out.size() - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    };
    auto data = stringData(read, static_cast<std::uint64_t>(opened->status.st_size), maximumBytes);
    if (!data) {
        return failure(path.string() + ": " + data.error().message);
    }
    return data;
}

bool ElfFile::isAppImageFile(const std::filesystem::path& path) {
    auto opened = OutsideFile::open(path, kMaximumFileBytes);
    if (!opened) {
        return false;
    }
    std::uint8_t head[16] = {};
    const ssize_t got = ::pread(opened->descriptor.get(), head, sizeof head, 0);
    return got == static_cast<ssize_t>(sizeof head) && hasAppImageMagic(head);
}

}  // namespace tarnwick
