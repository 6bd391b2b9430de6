#include "ELF/ElfFile.h"
#include "FuzzEntries.h"

#include <cstring>

namespace tarnwick::fuzz {

int fuzzElf(const std::uint8_t* data, std::size_t size) {
    const ElfFile::ReadAt read = [data, size](std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset > size || out.size() > size - offset) {
            return false;
        }
        std::memcpy(out.data(), data + offset, out.size());
        return true;
    };
    // A small budget, so that the cut-off path runs as often as the whole one.
    (void)ElfFile::stringData(read, size, 4096);
    (void)ElfFile::hasAppImageMagic({data, size});
    return 0;
}

}  // namespace tarnwick::fuzz
