#pragma once

#include <cstddef>
#include <string_view>

namespace tarnwick {

// Text checks of the settings' country search.

// True when every Unicode scalar has the Emoji property (digits do too); true for "".
bool isEmojiOnly(std::string_view text);

// The Levenshtein distance counted in user-perceived characters (extended grapheme clusters,
// compared as canonically equivalent), each insertion, deletion and substitution costing 1.
std::size_t levenshteinDistance(std::string_view text, std::string_view other);

}  // namespace tarnwick
