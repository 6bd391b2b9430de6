#include "UndesirableCountriesManager.h"

#include "Dispatch/DispatchQueue.h"
#include "OSLog/OSLog.h"
#include "SettingsDocument.h"

#include <algorithm>
#include <mutex>

namespace tarnwick {

namespace {

// The list never holds a code twice, whatever a caller or a hand-edited file hands in.
std::vector<Country> withoutRepeats(std::vector<Country> countries) {
    std::vector<Country> unique;
    unique.reserve(countries.size());
    for (auto& country : countries) {
        if (std::find(unique.begin(), unique.end(), country) == unique.end()) {
            unique.push_back(std::move(country));
        }
    }
    return unique;
}

}  // namespace

struct UndesirableCountriesManager::State : std::enable_shared_from_this<State> {
    mutable std::mutex mutex;
    bool isFilled = false;
    std::vector<Country> countries;
    bool didFetch = false;
    std::optional<UndesirableCountriesData> restoredData;

    // Caller holds the mutex.
    void fillIfNeeded() {
        if (isFilled) {
            return;
        }
        isFilled = true;
        if (!restoredData) {
            if (auto bytes = SettingsDocument::read(SettingsKey::undesirableCountries)) {
                try {
                    restoredData = UndesirableCountriesData::decode(*bytes);
                } catch (const DecodingError&) {
                    SettingsDocument::keepUnreadable(SettingsKey::undesirableCountries, *bytes);
                }
            }
        }
        if (restoredData) {
            countries = withoutRepeats(restoredData->undesirableCountries);
            didFetch = !countries.empty();
        } else {
            countries = defaultCountries();
            didFetch = true;
        }
    }

    // Caller holds the mutex.
    void replace(std::vector<Country> newCountries) {
        countries = withoutRepeats(std::move(newCountries));
        // The flag follows every change of the list, so it never claims countries that are gone.
        didFetch = !countries.empty();
    }

    // Queued even from the main queue: the save stores the list as it stands when it runs.
    void scheduleSave() {
        std::weak_ptr<State> weakState = weak_from_this();
        DispatchQueue::main()->async([weakState] {
            if (auto state = weakState.lock()) {
                state->save();
            }
        });
    }

    void save() {
        UndesirableCountriesData data;
        {
            std::lock_guard lock(mutex);
            fillIfNeeded();
            data.undesirableCountries = countries;
        }
        const auto bytes = data.encode();
        if (!bytes) {
            osLog("Unable to encode deny list");
            return;
        }
        // A refused write has been logged, and the list in memory stays as it is.
        (void)SettingsDocument::write(SettingsKey::undesirableCountries, *bytes);
    }
};

UndesirableCountriesManager::UndesirableCountriesManager() : m_state(std::make_shared<State>()) {}

UndesirableCountriesManager::~UndesirableCountriesManager() = default;

UndesirableCountriesManager& UndesirableCountriesManager::shared() {
    // Never destroyed: the analysis threads may read it while the process exits.
    static auto* manager = new UndesirableCountriesManager;
    return *manager;
}

const std::vector<Country>& UndesirableCountriesManager::defaultCountries() {
    static const std::vector<Country> countries = {Country("RU"), Country("BY")};
    return countries;
}

std::vector<Country> UndesirableCountriesManager::currentUndesirableCountries() const {
    std::lock_guard lock(m_state->mutex);
    m_state->fillIfNeeded();
    return m_state->countries;
}

void UndesirableCountriesManager::setCurrentUndesirableCountries(std::vector<Country> countries) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->isFilled = true;
        m_state->replace(std::move(countries));
    }
    m_state->scheduleSave();
}

bool UndesirableCountriesManager::didFetchUndesirableCountries() const {
    std::lock_guard lock(m_state->mutex);
    m_state->fillIfNeeded();
    return m_state->didFetch;
}

void UndesirableCountriesManager::add(const Country& country) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->fillIfNeeded();
        auto& countries = m_state->countries;
        if (std::find(countries.begin(), countries.end(), country) != countries.end()) {
            return;
        }
        auto changed = countries;
        changed.push_back(country);
        m_state->replace(std::move(changed));
    }
    m_state->scheduleSave();
}

void UndesirableCountriesManager::remove(const Country& country) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->fillIfNeeded();
        auto changed = m_state->countries;
        const auto found = std::find(changed.begin(), changed.end(), country);
        if (found == changed.end()) {
            return;
        }
        changed.erase(found);
        m_state->replace(std::move(changed));
    }
    m_state->scheduleSave();
}

std::optional<UndesirableCountriesData> UndesirableCountriesManager::restoredData() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->restoredData;
}

}  // namespace tarnwick
