#include "MemoryMap.h"

#include "Foundation/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <utility>

namespace tarnwick {

namespace {

// A stand-in address for an empty file, which mmap refuses; its span has no bytes to read.
const std::uint8_t emptyFile[1] = {0};

}  // namespace

Result<MemoryMap, MachOError> MemoryMap::mapFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return Failure{MachOError{MachOError::Code::cannotOpen,
                                  "cannot open " + path.string() + ": " + std::strerror(errno)}};
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return Failure{
            MachOError{MachOError::Code::cannotOpen, "not a regular file: " + path.string()}};
    }
    const auto size = static_cast<std::size_t>(status.st_size);
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
