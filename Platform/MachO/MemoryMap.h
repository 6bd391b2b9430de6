#pragma once

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
};

}  // namespace tarnwick
