#include "FuzzEntries.h"
#include "MachO/FatBinary.h"
#include "MachO/MachOImage.h"

namespace tarnwick::fuzz {

int fuzzMachO(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    auto slices = allSlices(file);
    if (!slices) {
        return 0;
    }
    for (const auto& slice : *slices) {
        auto image = MachOImage::parse(file, slice);
        if (!image) {
            continue;
        }
        for (const auto& section : image->sections()) {
            (void)image->contents(section);  // only its bounds checks are under test
        }
        if (auto strings = image->cStrings()) {
            volatile std::size_t total = 0;
            for (auto text : *strings) {
                total = total + text.size();
            }
        }
    }
    return 0;
}

}  // namespace tarnwick::fuzz
