#include "UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>

namespace tarnwick {

namespace {

// Making a break iterator loads rules; each thread keeps one for its life.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            made.reset();
        }
        return made;
    }();
    return iterator.get();
}

}  // namespace

bool UnicodeText::isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

bool UnicodeText::isValidUTF8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return false;
    }
    std::int32_t offset = 0;
    while (offset < length) {
        if (bytes[offset] < 0x80) {
            ++offset;
            continue;
        }
        UChar32 scalar = 0;
        U8_NEXT(bytes, offset, length, scalar);
        if (scalar < 0) {
            return false;
        }
    }
    return true;
}

std::string UnicodeText::lowercased(std::string_view text) {
    if (isAscii(text)) {
        std::string lower(text);
        for (char& c : lower) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return lower;
    }
    std::string lower;
    icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(lower);
    return lower;
}

std::string UnicodeText::canonicallyComposed(std::string_view text) {
    if (isAscii(text)) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    const auto source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    const icu::UnicodeString composed = nfc->normalize(source, status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    std::string result;
    composed.toUTF8String(result);
    return result;
}

std::string UnicodeText::withoutDiacritics(std::string_view text) {
    if (isAscii(text)) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    const auto source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    const icu::UnicodeString decomposed = nfd->normalize(source, status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    // Decomposition puts each accent after its base letter as a nonspacing mark.
    icu::UnicodeString bare;
    for (int32_t at = 0; at < decomposed.length();) {
        const UChar32 scalar = decomposed.char32At(at);
        if (u_charType(scalar) != U_NON_SPACING_MARK) {
            bare.append(scalar);
        }
        at += U16_LENGTH(scalar);
    }
    const icu::UnicodeString composed = nfc->normalize(bare, status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    std::string result;
    composed.toUTF8String(result);
    return result;
}

bool UnicodeText::canonicallyEquivalent(std::string_view first, std::string_view second) {
    if (first == second) {
        return true;
    }
    if (isAscii(first) && isAscii(second)) {
        return false;
    }
    return canonicallyComposed(first) == canonicallyComposed(second);
}

std::vector<std::string> UnicodeText::graphemeClusters(std::string_view text) {
    std::vector<std::string> clusters;
    if (text.empty()) {
        return clusters;
    }
    icu::BreakIterator* breaks = characterBreaks();
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (breaks == nullptr || U_FAILURE(status)) {
        utext_close(utext);
        // Without break rules every byte stands alone rather than losing the text.
        for (char byte : text) {
            clusters.emplace_back(1, byte);
        }
        return clusters;
    }
    breaks->setText(utext, status);
    int32_t start = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
         start = end, end = breaks->next()) {
        clusters.emplace_back(
            text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
    }
    // The iterator must not keep pointing at text that is about to go away.
    breaks->setText(icu::UnicodeString());
    utext_close(utext);
    return clusters;
}

std::u32string UnicodeText::scalars(std::string_view text) {
    std::u32string result;
    result.reserve(text.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t offset = 0;
    while (offset < length) {
        UChar32 scalar = 0;
        U8_NEXT(bytes, offset, length, scalar);
        result.push_back(scalar < 0 ? U'\uFFFD' : static_cast<char32_t>(scalar));
    }
    return result;
}

bool UnicodeText::hasEmojiProperty(char32_t scalar) {
    return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_EMOJI) != 0;
}

}  // namespace tarnwick
