#include "MemoryMap.h"

#include "Foundation/FileDescriptor.h"
#include "Foundation/OutsideFile.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <utility>

namespace tarnwick {

namespace {

// A stand-in address for an empty file, which mmap refuses; its span has no bytes to read.
const std::uint8_t emptyFile[1] = {0};

}  // namespace

Result<MemoryMap, MachOError> MemoryMap::mapFile(const std::filesystem::path& path) {
    auto opened = OutsideFile::open(path, kMaximumFileBytes);
    if (!opened) {
        return Failure{MachOError{MachOError::Code::cannotOpen, opened.error().message}};
    }
    const FileDescriptor fd = std::move(opened->descriptor);
    const auto size = static_cast<std::size_t>(opened->status.st_size);
    if (size == 0) {
        return MemoryMap(const_cast<std::uint8_t*>(emptyFile), 0);
    }
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (address == MAP_FAILED) {
        return Failure{MachOError{MachOError::Code::cannotOpen,
                                  "cannot map " + path.string() + ": " + std::strerror(errno)}};
    }
    return MemoryMap(address, size);
}

MemoryMap::~MemoryMap() {
    unmap();
}

MemoryMap::MemoryMap(MemoryMap&& other) noexcept
    : m_address(std::exchange(other.m_address, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

MemoryMap& MemoryMap::operator=(MemoryMap&& other) noexcept {
    if (this != &other) {
        unmap();
        m_address = std::exchange(other.m_address, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void MemoryMap::unmap() {
    if (m_address != nullptr && m_size > 0) {
        ::munmap(m_address, m_size);
    }
    m_address = nullptr;
    m_size = 0;
}

}  // namespace tarnwick
