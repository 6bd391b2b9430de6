#pragma once

#include "Foundation/PageAllocator.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

struct ElfError {
    // A sentence for the log.
    std::string message;
};

// The read-only string data of an ELF executable (".rodata" and the sections the linker marks as
// holding strings), 32 or 64 bits, either byte order. Nothing is mapped: the few headers and the
// chosen sections are read with positioned reads, every offset and size checked against the file,
// so a crafted or truncated file gives an error or less data, never a read out of bounds.
class ElfFile {
public:
    // Section bytes can be tens of megabytes: kept in memory that goes back to the system.
    using Bytes = std::vector<char, PageAllocator<char>>;
    // Reads exactly `out.size()` bytes at `offset`; false when they are not all there.
    using ReadAt = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)>;

    // Biggest string data taken from one file; what lies past it is left unread, so a huge
    // executable costs bounded memory.
    static constexpr std::uint64_t kMaximumStringBytes = 32ull << 20;
    // Biggest executable looked at.
    static constexpr std::uint64_t kMaximumFileBytes = 4ull << 30;

    // The chosen sections' bytes one after the other, each followed by a NUL so that strings of
    // two sections never run together; at most `maximumBytes` of section data.
    static Result<Bytes, ElfError> stringData(const ReadAt& readAt, std::uint64_t fileSize,
                                              std::uint64_t maximumBytes);
    // The same for a file named from outside, opened the safe way.
    static Result<Bytes, ElfError> stringDataOfFile(
        const std::filesystem::path& path, std::uint64_t maximumBytes = kMaximumStringBytes);

    // Whether the first bytes of a file are an ELF header carrying the AppImage mark ("AI" and
    // type 1 or 2 in the padding of the identification).
    static bool hasAppImageMagic(std::span<const std::uint8_t> head);
    static bool hasELFMagic(std::span<const std::uint8_t> head);
    // Reads the head of a regular file opened the safe way; false for anything else.
    static bool isAppImageFile(const std::filesystem::path& path);
};

}  // namespace tarnwick
