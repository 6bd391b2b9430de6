#pragma once

#include "Country.h"

#include <mutex>
#include <vector>

namespace tarnwick {

// Every country the locale data knows, for the settings' country grid, sorted by name.
class CountriesProvider {
public:
    CountriesProvider() = default;
    CountriesProvider(const CountriesProvider&) = delete;
    CountriesProvider& operator=(const CountriesProvider&) = delete;

    // Built on first use and kept for the life of the provider.
    const std::vector<Country>& countriesSortedByAlphabet();

    // One country per ISO region code, in the locale data's order.
    static std::vector<Country> makeCountries();

    // A stable sort by name, comparing code points of the composed names (so upper case comes
    // before lower case and accented letters after "z"), with a name that begins with "Å"
    // spelled with "A" throughout.
    static std::vector<Country> sortedByAlphabet(std::vector<Country> countries);

private:
    std::once_flag m_once;
    std::vector<Country> m_sorted;
};

}  // namespace tarnwick
