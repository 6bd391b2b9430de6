#include "BinaryStringsParserImpl.h"

#include "Foundation/Bundle.h"
#include "Locale/UnicodeText.h"
#include "MachO/FatBinary.h"
#include "MachO/MachOImage.h"
#include "MachO/MemoryMap.h"

namespace tarnwick {

std::vector<std::string> BinaryStringsParserImpl::parse(
    const std::filesystem::path& bundleURL) const {
    const auto executable = Bundle(bundleURL).executablePath();
    if (!executable) {
        return {};
    }
    return parseExecutable(*executable);
}

std::vector<std::string> BinaryStringsParserImpl::parseExecutable(
    const std::filesystem::path& executable) {
    auto map = MemoryMap::mapFile(executable);
    if (!map) {
        return {};
    }
    auto slice = preferredSlice(map->bytes());
    if (!slice) {
        return {};
    }
    auto image = MachOImage::parse(map->bytes(), *slice);
    if (!image) {
        return {};
    }
    auto strings = image->cStrings();
    if (!strings) {
        return {};
    }
    std::vector<std::string> lowered;
    lowered.reserve(strings->size());
    for (const auto text : *strings) {
        if (UnicodeText::isAscii(text)) {
            std::string lower(text);
            for (char& c : lower) {
                if (c >= 'A' && c <= 'Z') {
                    c = static_cast<char>(c - 'A' + 'a');
                }
            }
            lowered.push_back(std::move(lower));
        } else if (UnicodeText::isValidUTF8(text)) {
            lowered.push_back(UnicodeText::lowercased(text));
        }
    }
    return lowered;
}

}  // namespace tarnwick
