#pragma once

#include "Logging/BaseDestination.h"
#include "Logging/LogHub.h"
#include "Screens/AppMonitor/LocalApplicationImpl.h"
#include "Tools/Country.h"
#include "Tools/UndesirableCountriesManagerType.h"
#include "support/BundleFixture.h"
#include "support/MachOFixture.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick::testing {

// Target countries chosen by the test.
class FixedCountries final : public UndesirableCountriesManagerType {
public:
    explicit FixedCountries(std::vector<std::string> codes) { set(std::move(codes)); }
    void set(std::vector<std::string> codes) {
        std::lock_guard lock(m_mutex);
        m_countries.clear();
        for (auto& code : codes) {
            m_countries.emplace_back(std::move(code));
        }
    }
    std::vector<Country> currentUndesirableCountries() const override {
        std::lock_guard lock(m_mutex);
        return m_countries;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Country> m_countries;
};

// Keeps the messages logged while it is installed.
class RecordingDestination final : public BaseDestination {
public:
    RecordingDestination() { setAsynchronously(false); }
    std::optional<std::string> send(LogLevel, const std::string& message, const std::string&,
                                    const std::string&, const std::string&, long,
                                    const LogValue&) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
        return message;
    }
    std::vector<std::string> messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

// An executable whose C-string section holds `strings`.
inline std::string executableWith(std::vector<std::string> strings) {
    MachOFixtureImage image;
    image.cStrings = std::move(strings);
    return buildThinMachO(image);
}

inline std::shared_ptr<LocalApplication> application(const std::filesystem::path& folder,
                                                     BundleFixture bundle) {
    return LocalApplicationImpl::make(writeBundle(folder, bundle));
}

}  // namespace tarnwick::testing
