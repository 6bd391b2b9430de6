#include "CountriesProvider.h"

#include "Locale/Locale.h"
#include "Locale/UnicodeText.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

namespace {

std::string sortKey(const std::string& name) {
    static const std::string ringA = "\u00C5";
    std::string composed = UnicodeText::canonicallyComposed(name);
    if (composed.rfind(ringA, 0) != 0) {
        return composed;
    }
    std::string key;
    key.reserve(composed.size());
    for (std::size_t at = 0; at < composed.size();) {
        if (composed.compare(at, ringA.size(), ringA) == 0) {
            key += 'A';
            at += ringA.size();
        } else {
            key += composed[at++];
        }
    }
    return key;
}

}  // namespace

const std::vector<Country>& CountriesProvider::countriesSortedByAlphabet() {
    std::call_once(m_once, [this] { m_sorted = sortedByAlphabet(makeCountries()); });
    return m_sorted;
}

std::vector<Country> CountriesProvider::makeCountries() {
    std::vector<Country> countries;
    const auto& codes = Locale::isoRegionCodes();
    countries.reserve(codes.size());
    for (const auto& code : codes) {
        countries.emplace_back(code);
    }
    return countries;
}

std::vector<Country> CountriesProvider::sortedByAlphabet(std::vector<Country> countries) {
    // UTF-8 bytes order like the code points they spell.
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(countries.size());
    for (std::size_t index = 0; index < countries.size(); ++index) {
        keys.emplace_back(sortKey(countries[index].countryName()), index);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    std::vector<Country> sorted;
    sorted.reserve(countries.size());
    for (const auto& [key, index] : keys) {
        sorted.push_back(std::move(countries[index]));
    }
    return sorted;
}

}  // namespace tarnwick
