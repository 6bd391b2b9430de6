#include "StringUtilities.h"

#include "Locale/UnicodeText.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace tarnwick {

bool isEmojiOnly(std::string_view text) {
    const auto scalars = UnicodeText::scalars(text);
    return std::all_of(scalars.begin(), scalars.end(), UnicodeText::hasEmojiProperty);
}

std::size_t levenshteinDistance(std::string_view text, std::string_view other) {
    const auto columns = UnicodeText::graphemeClusters(UnicodeText::canonicallyComposed(text));
    const auto rows = UnicodeText::graphemeClusters(UnicodeText::canonicallyComposed(other));
    if (rows.empty()) {
        return columns.size();
    }
    if (columns.empty()) {
        return rows.size();
    }
    // Two rows of the table are enough: each cell needs only the row above.
    std::vector<std::size_t> above(columns.size() + 1);
    std::iota(above.begin(), above.end(), std::size_t{0});
    std::vector<std::size_t> current(columns.size() + 1);
    for (std::size_t row = 1; row <= rows.size(); ++row) {
        current[0] = row;
        for (std::size_t column = 1; column <= columns.size(); ++column) {
            if (rows[row - 1] == columns[column - 1]) {
                current[column] = above[column - 1];
            } else {
                current[column] =
                    1 + std::min({above[column], current[column - 1], above[column - 1]});
            }
        }
        std::swap(above, current);
    }
    return above[columns.size()];
}

}  // namespace tarnwick
