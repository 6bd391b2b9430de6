#pragma once

#include "Country.h"
#include "UndesirableCountriesData.h"
#include "UndesirableCountriesManagerType.h"

#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// The target countries of the whole process: read from the settings ("undesirableCountries") on
// first use, "RU" and "BY" when nothing readable is stored, and written back after every change.
// A list never holds two countries with the same code.
//
// Readers on any thread see the old list or the new one, whole. Saving runs on the main queue,
// after the change, and stores the list as it is when the save runs.
class UndesirableCountriesManager : public UndesirableCountriesManagerType {
public:
    // A manager over the standard settings with nothing read yet. The process uses `shared()`;
    // tests make their own.
    UndesirableCountriesManager();
    ~UndesirableCountriesManager() override;
    UndesirableCountriesManager(const UndesirableCountriesManager&) = delete;
    UndesirableCountriesManager& operator=(const UndesirableCountriesManager&) = delete;

    static UndesirableCountriesManager& shared();

    // "RU" then "BY", made once.
    static const std::vector<Country>& defaultCountries();

    std::vector<Country> currentUndesirableCountries() const override;
    // Replaces the list (a repeated code keeps its first place) and schedules a save.
    void setCurrentUndesirableCountries(std::vector<Country> countries);
    // Whether the list holds countries: true with the defaults, false once the user removed
    // every country.
    bool didFetchUndesirableCountries() const;

    // Appends the country unless one with its code is there.
    void add(const Country& country);
    // Removes the country with its code, if there is one.
    void remove(const Country& country);

    // The document decoded from the settings, after the first successful read.
    std::optional<UndesirableCountriesData> restoredData() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
