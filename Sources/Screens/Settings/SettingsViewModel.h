#pragma once

#include "Combine/Published.h"
#include "Dispatch/DispatchGroup.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/Scheduler.h"
#include "Screens/Presenters/ConnectionAlert.h"
#include "Screens/Settings/SettingsAllowancesListManager.h"
#include "Tools/AllowanceList.h"
#include "Tools/AllowanceLookup.h"
#include "Tools/Country.h"
#include "Tools/DetectionLevel.h"
#include "Tools/Entry.h"
#include "Tools/HitListEntry.h"
#include "Tools/Preferences.h"
#include "Tools/RestrictionPreference.h"
#include "Tools/SettingsTab.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Workspace/Workspace.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The model behind the Settings screen: the selected tab, the detection rules the user picked,
// the target countries with the country grid and its search, and the allow and deny lists that
// the connection monitor consults for every flow into a target country. Every change that must
// persist is stored at once. Made with std::make_shared; main queue only.
class SettingsViewModel : public SettingsAllowancesListManager,
                          public std::enable_shared_from_this<SettingsViewModel> {
public:
    using EntryList = std::vector<std::shared_ptr<Entry>>;

    // All but the alert presenter are required: one missing is a std::invalid_argument.
    struct Dependencies {
        Preferences* preferences = nullptr;
        UndesirableCountriesManager* undesirableCountries = nullptr;
        const Workspace* workspace = nullptr;
        std::shared_ptr<ConnectionAlertPresenter> alertPresenter;
        Scheduler* scheduler = nullptr;
    };

    explicit SettingsViewModel(Dependencies dependencies);
    ~SettingsViewModel() override;

    // Tab, restrictions and countries.
    Published<SettingsTab> currentTab{SettingsTab::restrictions};
    const std::vector<RestrictionPreference>& requiredRestrictions() const {
        return m_requiredRestrictions;
    }
    Published<std::vector<RestrictionPreference>> additionalRestrictions;
    const Published<std::vector<RestrictionPreference>>& selectedRestrictions() const {
        return m_selectedRestrictions;
    }
    void setSelectedRestrictions(const std::vector<RestrictionPreference>& restrictions);
    bool isRestrictionSelected(const RestrictionPreference& restriction) const;
    void setRestriction(const RestrictionPreference& restriction, bool isSelected);
    // The level of the selection, and a level's preset as the new selection, both against the
    // target countries as they stand.
    DetectionLevel detectionLevel() const;
    void setDetectionLevel(DetectionLevel level);

    const std::vector<Country>& allCountries() const { return m_allCountries; }
    Published<std::vector<Country>> representedCountries;
    const Published<std::vector<Country>>& selectedCountries() const { return m_selectedCountries; }
    void setSelectedCountries(const std::vector<Country>& countries);
    void setCountry(const Country& country, bool isSelected);
    const Published<std::string>& searchBarText() const { return m_searchBarText; }
    void setSearchBarText(const std::string& text);
    void updateRepresentedCountries();
    static bool countryMatches(const Country& country, const std::string& searchText);
    static std::string normalizedSearchText(const std::string& text);

    // The allow and deny lists. Their rows are built only while something shows them (a token
    // of `showListRows` lives): the engine consults the lists for every flow and shows none.
    Published<EntryList> allowList;
    Published<EntryList> denyList;
    [[nodiscard]] std::shared_ptr<void> showListRows();
    bool isAllowed(const FlowInfo& flowInfo) override;
    bool isDenied(const FlowInfo& flowInfo) override;
    void runConnectionAlert(const ConnectionAlert& alert, const FlowInfo& flowInfo,
                            const std::string& remoteAddress,
                            std::chrono::steady_clock::time_point deadline,
                            std::function<void(int)> completion) override;
    void moveToOtherList(const std::shared_ptr<Entry>& entry);
    void removeHitItem(const std::shared_ptr<Entry>& entry, bool inDenyList);
    void removeAllEntries(bool fromDenyList);
    void removeEntry(const std::shared_ptr<Entry>& entry, bool fromDenyList);
    void addEntry(const std::shared_ptr<Entry>& entry, bool toDenyList);

    // The lists as they stand, in the stored document's shape.
    AllowanceList allowanceList() const;
    // Applies the answer of a connection alert to the lists, as `runConnectionAlert` does. The
    // entry is written to the settings off the main queue, which serves every decision.
    void applyAlertAnswer(int answer, const FlowInfo& flowInfo, const std::string& remoteAddress);
    // Used for testing only: waits until every change of the lists is in the settings.
    void waitUntilListsSaved();

private:
    static bool matches(const FlowInfo& flowInfo, const AllowanceLookup& lookup);
    // Change one stored list without saving; false when the entry's value is not of its kind.
    bool insertItem(const Entry& entry, bool toDenyList);
    bool eraseItem(const Entry& entry, bool fromDenyList);
    // Saves the lists as they stand and waits for the file.
    void saveAllowanceList();
    // Saves one change on the saving queue, without waiting.
    void saveChange(std::function<void(AllowanceList&)> change);
    void rebuildLookups();
    void reloadAllowanceEntries();
    void updateSocialNetworkRestriction();

    Preferences& m_preferences;
    UndesirableCountriesManager& m_undesirableCountriesManager;
    const Workspace& m_workspace;
    std::shared_ptr<ConnectionAlertPresenter> m_alertPresenter;
    Scheduler& m_scheduler;
    const std::shared_ptr<DispatchQueue> m_filterQueue;
    const std::shared_ptr<DispatchQueue> m_mainQueue;

    Published<std::vector<RestrictionPreference>> m_selectedRestrictions;
    const std::vector<RestrictionPreference> m_requiredRestrictions;
    const std::vector<Country> m_allCountries;
    const std::vector<Country> m_undesirableCountries;
    Published<std::vector<Country>> m_selectedCountries;
    Published<std::string> m_searchBarText;

    std::vector<std::string> m_bundleIdBlacklist;
    std::vector<std::string> m_bundleIdWhitelist;
    std::vector<std::string> m_hostNameBlacklist;
    std::vector<std::string> m_hostNameWhitelist;
    std::vector<HitListEntry> m_hitsBlacklist;
    std::vector<HitListEntry> m_hitsWhitelist;
    // The lists above, indexed for the flow decision; they read the lists, so every change
    // builds them afresh (saveAllowanceList does) before the next decision.
    AllowanceLookup m_allowLookup;
    AllowanceLookup m_denyLookup;
    // The saving queue's own copy of the lists, changed in order and written after the last
    // pending change; only the saving queue touches it.
    struct SavedLists;
    std::shared_ptr<SavedLists> m_savedLists;
    std::shared_ptr<DispatchQueue> m_saveQueue;
    std::shared_ptr<DispatchGroup> m_pendingSaves;
    std::shared_ptr<int> m_rowViewers = std::make_shared<int>(0);
};

}  // namespace tarnwick
