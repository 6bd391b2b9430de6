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
#include <optional>
#include <system_error>
#include <utility>

namespace tarnwick {

static_assert(BinaryStringsParserImpl::kMaximumStringBytes <= ElfFile::kMaximumStringBytes);

CStringList CStringList::inPlace(Bytes bytes, std::size_t overheadBytes) {
    CStringList list;
    list.m_adopted = std::move(bytes);
    char* cursor = list.m_adopted.data();
    char* end = cursor + list.m_adopted.size();
    // Room for as many views as the allowance pays for, and never more than the bytes can hold
    // strings: reserved whole so the list never grows by copying, and since large blocks come
    // straight from the kernel, only the pages the views fill cost memory.
    const std::size_t mostStrings =
        std::min(overheadBytes / kBytesPerString, list.m_adopted.size() / 2 + 1);
    list.m_views.reserve(mostStrings);
    std::size_t overhead = 0;
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
        if (overhead + kBytesPerString > overheadBytes) {
            break;
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
            overhead += kBytesPerString;
            continue;
        }
        if (!UnicodeText::isValidUTF8(view)) {
            continue;
        }
        // Its ASCII letters are lower-cased already, which full lower-casing does alike. Most
        // scripts keep their length in lower case, so the string stays where it is.
        auto lowered = UnicodeText::lowercased(view);
        if (lowered.size() <= length) {
            std::memcpy(text, lowered.data(), lowered.size());
            list.m_views.emplace_back(text, lowered.size());
            overhead += kBytesPerString;
            continue;
        }
        // A short string lives inside its object; a longer one has a block of its own.
        const std::size_t kept =
            sizeof(std::string) +
            (lowered.capacity() > std::string().capacity() ? lowered.capacity() + 1 : 0);
        if (overhead + kBytesPerString + kept > overheadBytes) {
            break;
        }
        list.m_grown.push_back(std::move(lowered));
        list.m_grownBytes += kept;
        list.m_views.emplace_back(list.m_grown.back());
        overhead += kBytesPerString + kept;
    }
    return list;
}

std::size_t CStringList::memoryBytes() const {
    return m_adopted.capacity() + m_views.size() * kBytesPerString + m_grownBytes;
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
    // What the strings of this file may take at most: its string data (up to the readers' limit,
    // or the whole file) and, for the rest of the grant, the list's views of it.
    std::error_code error;
    const auto fileBytes = std::filesystem::file_size(executable, error);
    const std::uint64_t expected =
        error ? 1u << 20 : std::min<std::uint64_t>(fileBytes, kMaximumStringBytes) * 3 / 2;
    auto lease = StringReadBudget::shared().acquire(static_cast<std::size_t>(expected));
    auto bytes = readStringData(executable);
    if (!bytes) {
        return {};
    }
    const std::size_t overhead =
        expected > bytes->size() ? static_cast<std::size_t>(expected) - bytes->size() : 0;
    auto list = CStringList::inPlace(std::move(*bytes), overhead);
    list.keep(std::move(lease));
    return list;
}

std::optional<CStringList::Bytes> BinaryStringsParserImpl::readStringData(
    const std::filesystem::path& executable) {
    if (auto elf = ElfFile::stringDataOfFile(executable, kMaximumStringBytes)) {
        return std::move(*elf);
    }
    // Only the headers are filled in in the map, so that an executable cut short while it is read
    // costs its strings, not the process; the section goes straight into the list's buffer.
    auto map = MemoryMap::copyOnDemand(executable);
    if (!map || !map->loadFatHeader()) {
        return std::nullopt;
    }
    auto slice = preferredSlice(map->bytes());
    if (!slice || !map->loadImageHeader(*slice)) {
        return std::nullopt;
    }
    auto image = MachOImage::parse(map->bytes(), *slice);
    if (!image) {
        return std::nullopt;
    }
    const MachOSection* section = image->section("__cstring");
    if (section == nullptr || !section->hasFileContents()) {
        return std::nullopt;
    }
    // Where the section lies, checked against the image, not yet read.
    auto contents = image->contents(*section);
    if (!contents) {
        return std::nullopt;
    }
    const auto offset = static_cast<std::uint64_t>(contents->data() - map->bytes().data());
    CStringList::Bytes bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(contents->size(), kMaximumStringBytes)));
    if (!map->readFile(offset, {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()})) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace tarnwick
