#include "FuzzEntries.h"
#include "Workspace/IconFamily.h"

#include <cstdlib>

namespace tarnwick::fuzz {

int fuzzIconFamily(const std::uint8_t* data, std::size_t size) {
    const auto family = IconFamily::parse(std::span<const std::uint8_t>(data, size));
    if (!family) {
        return 0;
    }
    std::size_t total = 0;
    for (const auto& rendition : family.value().renditions()) {
        // Every rendition is a copy of bytes that were inside the file.
        if (rendition.type.size() != 4 || rendition.image.png.size() > size) {
            std::abort();
        }
        total += rendition.image.png.size();
    }
    if (total > size) {
        std::abort();
    }
    (void)family.value().largestImage();
    return 0;
}

}  // namespace tarnwick::fuzz
