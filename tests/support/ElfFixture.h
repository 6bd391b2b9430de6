#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::testing {

// A small ELF file built from its sections, for the cases a compiler never writes: either class,
// either byte order, the AppImage mark, sections that point past the end.
struct ElfFixture {
    struct Section {
        std::string name;
        std::uint32_t type = 1;     // PROGBITS
        std::uint64_t flags = 0x2;  // ALLOC
        std::string bytes;
        // Written as the section's offset and size instead of where its bytes are and how many,
        // when set: for a section that lies elsewhere in the file.
        std::uint64_t offsetOverride = 0;
        std::uint64_t sizeOverride = 0;
    };
    bool wide = true;
    bool bigEndian = false;
    bool appImage = false;
    std::vector<Section> sections;
};

std::string buildElf(const ElfFixture& fixture);

}  // namespace tarnwick::testing
