#pragma once

#include "FatBinary.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/Result.h"
#include "MachOError.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace tarnwick {

// A file mapped read-only into memory, so a large executable is paged in only where a reader
// looks. Move-only; the mapping goes with its owner.
class MemoryMap {
public:
    // Far beyond any executable an application ships; a larger file is not mapped.
    static constexpr std::uint64_t kMaximumFileBytes = std::uint64_t{4} << 30;

    // The file is anyone's: it is opened as OutsideFile does (regular files only).
    static Result<MemoryMap, MachOError> mapFile(const std::filesystem::path& path);

    // The file's size of private memory in which only the parts asked for with `load` are filled
    // in, by positioned reads; the rest reads as zeros and costs nothing. Unlike a mapping of the
    // file it stays readable whatever happens to the file: one cut short meanwhile makes `load`
    // fail instead of ending the process with a bus error at the next read.
    static Result<MemoryMap, MachOError> copyOnDemand(const std::filesystem::path& path);
    // Fills [offset, offset + length), clipped to the size, from the file (a copy on demand only);
    // false when the file no longer holds those bytes.
    bool load(std::uint64_t offset, std::uint64_t length);
    // Copies [offset, offset + out.size()) of the file (a copy on demand only) straight into
    // `out`, leaving this memory as it is: for bytes the caller keeps, so that they are copied
    // once. False when the file no longer holds them all.
    bool readFile(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // The universal header, or the header and load commands of the image at `slice`: what
    // parsing needs before it can say which sections to load.
    bool loadFatHeader();
    bool loadImageHeader(ImageSlice slice);

    ~MemoryMap();
    MemoryMap(MemoryMap&& other) noexcept;
    MemoryMap& operator=(MemoryMap&& other) noexcept;
    MemoryMap(const MemoryMap&) = delete;
    MemoryMap& operator=(const MemoryMap&) = delete;

    std::span<const std::uint8_t> bytes() const {
        return {static_cast<const std::uint8_t*>(m_address), m_size};
    }
    std::size_t size() const { return m_size; }

private:
    MemoryMap(void* address, std::size_t size) : m_address(address), m_size(size) {}
    void unmap();

    void* m_address = nullptr;
    std::size_t m_size = 0;
    // The file a copy on demand loads from.
    FileDescriptor m_file;
};

}  // namespace tarnwick
