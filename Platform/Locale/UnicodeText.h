#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The few Unicode operations the model needs on UTF-8 text: canonical composition, user-perceived
// characters (extended grapheme clusters) and character properties. Bytes that are not UTF-8 are
// taken as U+FFFD, so no input makes these fail.
class UnicodeText {
public:
    UnicodeText() = delete;

    // Normalization Form C: canonically equivalent texts come out byte for byte equal.
    static std::string canonicallyComposed(std::string_view text);
    static bool canonicallyEquivalent(std::string_view first, std::string_view second);
    // The text with its diacritics taken off the letters that carry them ("Åland" gives "Aland",
    // "Curaçao" gives "Curacao"); letters that do not decompose, such as "ø", stay as they are.
    static std::string withoutDiacritics(std::string_view text);

    // The text cut into extended grapheme clusters, in order.
    static std::vector<std::string> graphemeClusters(std::string_view text);

    // The text's Unicode scalar values, in order.
    static std::u32string scalars(std::string_view text);

    // Whether the scalar has the Unicode property Emoji (digits, "#" and "*" have it too).
    static bool hasEmojiProperty(char32_t scalar);

    // Whether every byte is ASCII, which is already in every normalization form.
    static bool isAscii(std::string_view text);
    // Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or stray bytes).
    static bool isValidUTF8(std::string_view text);
    // Full Unicode lower-casing in the root locale ("ПРИВЕТ" gives "привет"); ASCII on a fast path.
    static std::string lowercased(std::string_view text);
};

}  // namespace tarnwick
