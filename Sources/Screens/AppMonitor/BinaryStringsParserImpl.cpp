#include "BinaryStringsParserImpl.h"

#include "ELF/ElfFile.h"
#include "Foundation/Bundle.h"
#include "Locale/UnicodeText.h"
#include "MachO/FatBinary.h"
#include "MachO/MachOImage.h"
#include "MachO/MemoryMap.h"

#include <cstring>
#include <system_error>

namespace tarnwick {

CStringList::CStringList(std::size_t bytes)
    // Not zeroed: every byte handed out is written first.
    : m_buffer(new char[bytes == 0 ? 1 : bytes]), m_capacity(bytes) {
    // Strings of a C-string section average a few dozen bytes.
    m_views.reserve(bytes / 32);
}

bool CStringList::appendLowercasedIfASCII(std::string_view text) {
    char* out = m_buffer.get() + m_used;
    unsigned char high = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        high |= c;
        out[i] = static_cast<char>(c + ((static_cast<unsigned char>(c - 'A') < 26) ? 32 : 0));
    }
    if (high >= 0x80) {
        return false;  // the bytes written are scratch until the next string
    }
    m_views.emplace_back(out, text.size());
    m_used += text.size();
    return true;
}

void CStringList::appendOwned(std::string text) {
    m_owned.push_back(std::make_unique<std::string>(std::move(text)));
    m_views.emplace_back(*m_owned.back());
}

CStringList BinaryStringsParserImpl::parse(const std::filesystem::path& bundleURL) const {
    std::error_code error;
    if (!std::filesystem::is_directory(bundleURL, error)) {
        return parseExecutable(bundleURL);  // an executable named directly, as desktop entries do
    }
    const auto executable = Bundle(bundleURL).executablePath();
    if (!executable) {
        return {};
    }
    return parseExecutable(*executable);
}

CStringList BinaryStringsParserImpl::parseExecutable(const std::filesystem::path& executable) {
    auto elf = ElfFile::stringDataOfFile(executable);
    if (elf) {
        return cStrings(std::span(reinterpret_cast<const std::uint8_t*>(elf->data()), elf->size()));
    }
    // A copy of only the headers and the one section, so that an executable cut short while it is
    // read costs its strings, not the process.
    auto map = MemoryMap::copyOnDemand(executable);
    if (!map || !map->loadFatHeader()) {
        return {};
    }
    auto slice = preferredSlice(map->bytes());
    if (!slice || !map->loadImageHeader(*slice)) {
        return {};
    }
    auto image = MachOImage::parse(map->bytes(), *slice);
    if (!image) {
        return {};
    }
    const MachOSection* section = image->section("__cstring");
    if (section == nullptr || !section->hasFileContents() ||
        !map->load(slice->offset + section->offset, section->size)) {
        return {};
    }
    auto bytes = image->contents(*section);
    if (!bytes) {
        return {};
    }
    return cStrings(*bytes);
}

CStringList BinaryStringsParserImpl::cStrings(std::span<const std::uint8_t> bytes) {
    // One walk over the section: find each terminator, and copy the string lower-cased while
    // noting whether it left ASCII; only those few go through full Unicode lower-casing.
    CStringList list(bytes.size());
    const char* cursor = reinterpret_cast<const char*>(bytes.data());
    const char* end = cursor + bytes.size();
    while (cursor < end) {
        const auto* stop = static_cast<const char*>(
            std::memchr(cursor, '\0', static_cast<std::size_t>(end - cursor)));
        if (stop == nullptr) {
            break;  // an unterminated tail is no C string
        }
        const std::string_view text(cursor, static_cast<std::size_t>(stop - cursor));
        cursor = stop + 1;
        if (text.empty()) {
            continue;
        }
        if (!list.appendLowercasedIfASCII(text) && UnicodeText::isValidUTF8(text)) {
            list.appendOwned(UnicodeText::lowercased(text));
        }
    }
    return list;
}

}  // namespace tarnwick
