#include "BinaryStringsParserImpl.h"

#include "ELF/ElfFile.h"
#include "Foundation/Bundle.h"
#include "Locale/UnicodeText.h"
#include "MachO/FatBinary.h"
#include "MachO/MachOImage.h"
#include "MachO/MemoryMap.h"
#include "StringReadBudget.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

namespace tarnwick {

CStringList::Block::Block(std::size_t bytes)
    // Not zeroed: every byte handed out is written first.
    : data(PageAllocator<char>().allocate(bytes == 0 ? 1 : bytes)), size(bytes == 0 ? 1 : bytes) {}

CStringList::Block::Block(Block&& other) noexcept
    : data(std::exchange(other.data, nullptr)), size(std::exchange(other.size, 0)) {}

CStringList::Block& CStringList::Block::operator=(Block&& other) noexcept {
    if (this != &other) {
        if (data != nullptr) {
            PageAllocator<char>().deallocate(data, size);
        }
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
    }
    return *this;
}

CStringList::Block::~Block() {
    if (data != nullptr) {
        PageAllocator<char>().deallocate(data, size);
    }
}

CStringList::CStringList(std::size_t bytes) : m_buffer(bytes), m_capacity(bytes) {
    // Strings of a C-string section average a few dozen bytes.
    m_views.reserve(bytes / 32);
}

bool CStringList::appendLowercasedIfASCII(std::string_view text) {
    char* out = m_buffer.data + m_used;
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

CStringList CStringList::inPlace(Bytes bytes) {
    CStringList list;
    list.m_adopted = std::move(bytes);
    char* cursor = list.m_adopted.data();
    char* end = cursor + list.m_adopted.size();
    while (cursor < end) {
        auto* stop =
            static_cast<char*>(std::memchr(cursor, '\0', static_cast<std::size_t>(end - cursor)));
        if (stop == nullptr) {
            break;  // an unterminated tail is no C string
        }
        const auto length = static_cast<std::size_t>(stop - cursor);
        char* text = cursor;
        cursor = stop + 1;
        if (length == 0) {
            continue;
        }
        unsigned char high = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            high |= c;
            text[i] = static_cast<char>(c + ((static_cast<unsigned char>(c - 'A') < 26) ? 32 : 0));
        }
        const std::string_view view(text, length);
        if (high < 0x80) {
            list.m_views.push_back(view);
        } else if (UnicodeText::isValidUTF8(view)) {
            // Its ASCII letters are lower-cased already, which full lower-casing does alike.
            list.appendOwned(UnicodeText::lowercased(view));
        }
    }
    return list;
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
    // What the strings of this file may take at most: its string data (up to the ELF reader's
    // limit, or the whole file) and the list's views of it.
    std::error_code error;
    const auto fileBytes = std::filesystem::file_size(executable, error);
    const std::uint64_t expected =
        error ? 1u << 20 : std::min<std::uint64_t>(fileBytes, ElfFile::kMaximumStringBytes) * 3 / 2;
    auto lease = StringReadBudget::shared().acquire(static_cast<std::size_t>(expected));
    auto list = readStrings(executable);
    list.keep(std::move(lease));
    return list;
}

CStringList BinaryStringsParserImpl::readStrings(const std::filesystem::path& executable) {
    auto elf = ElfFile::stringDataOfFile(executable);
    if (elf) {
        return CStringList::inPlace(std::move(*elf));
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
