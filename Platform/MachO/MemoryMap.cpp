#include "MemoryMap.h"

#include "Foundation/ByteReader.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/OutsideFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
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

Result<MemoryMap, MachOError> MemoryMap::copyOnDemand(const std::filesystem::path& path) {
    auto opened = OutsideFile::open(path, kMaximumFileBytes);
    if (!opened) {
        return Failure{MachOError{MachOError::Code::cannotOpen, opened.error().message}};
    }
    const auto size = static_cast<std::size_t>(opened->status.st_size);
    if (size == 0) {
        return MemoryMap(const_cast<std::uint8_t*>(emptyFile), 0);
    }
    // Untouched pages of an anonymous mapping are shared zero pages: only what is loaded costs.
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (address == MAP_FAILED) {
        return Failure{
            MachOError{MachOError::Code::cannotOpen,
                       "cannot reserve memory for " + path.string() + ": " + std::strerror(errno)}};
    }
    MemoryMap map(address, size);
    map.m_file = std::move(opened->descriptor);
    return map;
}

bool MemoryMap::load(std::uint64_t offset, std::uint64_t length) {
    if (!m_file.valid() || offset >= m_size) {
        return false;
    }
    length = std::min<std::uint64_t>(length, m_size - offset);
    return readFile(
        offset, {static_cast<std::uint8_t*>(m_address) + offset, static_cast<std::size_t>(length)});
}

bool MemoryMap::readFile(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!m_file.valid() || offset > m_size || out.size() > m_size - offset) {
        return false;
    }
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(m_file.get(), out.data() + done, out.size() - done,
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
}

bool MemoryMap::loadFatHeader() {
    // The fat header and its table; far more slices than any file has fit in this.
    return load(0, 64 * 1024);
}

bool MemoryMap::loadImageHeader(ImageSlice slice) {
    if (!load(slice.offset, 32)) {
        return false;
    }
    const auto header = bytes().subspan(slice.offset);
    const ByteReader reader(header);
    const auto magic = reader.u32(0, ByteReader::Order::little);
    if (!magic) {
        return false;
    }
    // 0xfeedface / 0xfeedfacf as written by either byte order.
    const bool wide = *magic == 0xfeedfacf || *magic == 0xcffaedfe;
    const bool big = *magic == 0xcefaedfe || *magic == 0xcffaedfe;
    const auto commandsSize =
        reader.u32(20, big ? ByteReader::Order::big : ByteReader::Order::little);
    if (!commandsSize) {
        return false;
    }
    return load(slice.offset, std::uint64_t(wide ? 32 : 28) + *commandsSize);
}

MemoryMap::~MemoryMap() {
    unmap();
}

MemoryMap::MemoryMap(MemoryMap&& other) noexcept
    : m_address(std::exchange(other.m_address, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_file(std::move(other.m_file)) {}

MemoryMap& MemoryMap::operator=(MemoryMap&& other) noexcept {
    if (this != &other) {
        unmap();
        m_address = std::exchange(other.m_address, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_file = std::move(other.m_file);
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
