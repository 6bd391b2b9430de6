#include "SettingsViewModel.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "Locale/UnicodeText.h"
#include "Logging/LogHub.h"
#include "Screens/Presenters/ConnectionAlertDecision.h"
#include "Tools/CountriesProvider.h"
#include "Tools/RequiredDependency.h"
#include "Tools/StringUtilities.h"
#include "Tools/WorkspaceUtilities.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>

namespace tarnwick {

namespace {

constexpr const char* kBundleId = "bundleId";
constexpr const char* kHostName = "aza";
constexpr const char* kRemoteAddress = "remoteAddress";

const std::string* find(const SettingsAllowancesListManager::FlowInfo& flowInfo, const char* key) {
    const auto found = flowInfo.find(key);
    return found == flowInfo.end() ? nullptr : &found->second;
}

template <typename T>
bool contains(const std::vector<T>& list, const T& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

template <typename T>
void removeFirst(std::vector<T>& list, const T& item) {
    const auto found = std::find(list.begin(), list.end(), item);
    if (found != list.end()) {
        list.erase(found);
    }
}

std::vector<Country> selectedFirst(const std::vector<Country>& selected,
                                   const std::vector<Country>& all) {
    std::vector<Country> result = selected;
    for (const auto& country : all) {
        if (!contains(selected, country)) {
            result.push_back(country);
        }
    }
    return result;
}

std::string describe(const std::vector<std::string>& list) {
    std::string text = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        text += (i ? ", \"" : "\"") + list[i] + "\"";
    }
    return text + "]";
}

std::string describe(const std::vector<HitListEntry>& list) {
    std::string text = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        text += (i ? ", " : "") + std::string("(processId: \"") + list[i].processId +
                "\", ipAddress: \"" + list[i].ipAddress + "\")";
    }
    return text + "]";
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The word the alert's answer leaves in the log.
const char* wordForDecision(const std::optional<ConnectionAlertDecision>& decision) {
    if (!decision) {
        return "unknown response";
    }
    switch (decision->scope) {
        case ConnectionAlertDecision::Scope::connection:
            return decision->allow ? "Allow" : "Deny";
        case ConnectionAlertDecision::Scope::application:
            return decision->allow ? "Allow All" : "Deny All";
        case ConnectionAlertDecision::Scope::host:
            return decision->allow ? "Allow all from host" : "Deny all from host";
    }
    return "unknown response";
}
constexpr const char* kOwner = "SettingsViewModel";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

}  // namespace

struct SettingsViewModel::SavedLists {
    AllowanceList lists;
    std::atomic<int> pending{0};
};

SettingsViewModel::SettingsViewModel(Dependencies dependencies)
    : m_preferences(requiredDependency(dependencies.preferences, kOwner, "preferences"))
    , m_undesirableCountriesManager(
          requiredDependency(dependencies.undesirableCountries, kOwner, "undesirableCountries"))
    , m_workspace(requiredDependency(dependencies.workspace, kOwner, "workspace"))
    , m_alertPresenter(std::move(dependencies.alertPresenter))
    , m_scheduler(requiredDependency(dependencies.scheduler, kOwner, "scheduler"))
    , m_filterQueue(DispatchQueue::create("tarnwick.filter-queue", QualityOfService::background))
    , m_mainQueue(DispatchQueue::main())
    , m_requiredRestrictions(RestrictionPreference::requiredRestrictions())
    , m_allCountries(CountriesProvider().countriesSortedByAlphabet())
    , m_undesirableCountries(m_undesirableCountriesManager.currentUndesirableCountries()) {
    dispatchPreconditionOnMain();
    m_selectedCountries.set(m_undesirableCountries);
    additionalRestrictions.set(RestrictionPreference::additionalRestrictions(
        contains(m_undesirableCountries, Country::russia())));
    representedCountries.set(selectedFirst(m_undesirableCountries, m_allCountries));
    const auto stored = m_preferences.restrictions();
    setSelectedRestrictions(stored ? *stored : m_preferences.loadRestrictions());
    if (const auto restored = AllowanceList::restoreFromSettings()) {
        m_bundleIdWhitelist = restored->bundleIDWhitelist;
        m_bundleIdBlacklist = restored->bundleIDBlacklist;
        m_hostNameWhitelist = restored->hostWhitelist;
        m_hostNameBlacklist = restored->hostBlacklist;
        m_hitsBlacklist = restored->hitsBlackList;
        m_hitsWhitelist = restored->hitsWhitelist;
    }
    rebuildLookups();
    m_savedLists = std::make_shared<SavedLists>();
    m_savedLists->lists = allowanceList();
    m_saveQueue = DispatchQueue::create("tarnwick.allowance-list-save", QualityOfService::utility);
    m_pendingSaves = std::make_shared<DispatchGroup>();
    reloadAllowanceEntries();
}

// Nothing answered is lost with the model: the last changes reach the file first.
SettingsViewModel::~SettingsViewModel() {
    m_pendingSaves->wait();
}

// MARK: Restrictions

void SettingsViewModel::setSelectedRestrictions(
    const std::vector<RestrictionPreference>& restrictions) {
    dispatchPreconditionOnMain();
    m_selectedRestrictions.set(restrictions);
    m_preferences.saveRestrictions(restrictions);
}

bool SettingsViewModel::isRestrictionSelected(const RestrictionPreference& restriction) const {
    return contains(m_selectedRestrictions.get(), restriction);
}

void SettingsViewModel::setRestriction(const RestrictionPreference& restriction, bool isSelected) {
    dispatchPreconditionOnMain();
    auto restrictions = m_selectedRestrictions.get();
    if (isSelected) {
        restrictions.push_back(restriction);
    } else {
        removeFirst(restrictions, restriction);
    }
    setSelectedRestrictions(restrictions);
}

DetectionLevel SettingsViewModel::detectionLevel() const {
    return tarnwick::detectionLevel(m_selectedRestrictions.get(), m_undesirableCountriesManager);
}

void SettingsViewModel::setDetectionLevel(DetectionLevel level) {
    setSelectedRestrictions(restrictions(level, m_undesirableCountriesManager));
}

// MARK: Countries

void SettingsViewModel::setSelectedCountries(const std::vector<Country>& countries) {
    dispatchPreconditionOnMain();
    m_selectedCountries.set(countries);
    updateSocialNetworkRestriction();
}

void SettingsViewModel::updateSocialNetworkRestriction() {
    const RestrictionPreference socialNetwork(DetectionReason::socialNetworkDomain());
    auto additional = additionalRestrictions.get();
    if (contains(m_selectedCountries.get(), Country::russia())) {
        if (!contains(additional, socialNetwork)) {
            additional.push_back(socialNetwork);
            additionalRestrictions.set(additional);
        }
    } else if (contains(additional, socialNetwork)) {
        removeFirst(additional, socialNetwork);
        additionalRestrictions.set(additional);
    }
}

void SettingsViewModel::setCountry(const Country& country, bool isSelected) {
    dispatchPreconditionOnMain();
    auto selected = m_selectedCountries.get();
    if (isSelected) {
        selected.push_back(country);
        setSelectedCountries(selected);
        m_undesirableCountriesManager.add(country);
    } else {
        removeFirst(selected, country);
        setSelectedCountries(selected);
        m_undesirableCountriesManager.remove(country);
    }
    std::vector<Country> others;
    for (const auto& candidate : m_allCountries) {
        if (!contains(m_selectedCountries.get(), candidate)) {
            others.push_back(candidate);
        }
    }
    representedCountries.set(others);
    representedCountries.set(selectedFirst(m_selectedCountries.get(), others));
    setSearchBarText("");
}

void SettingsViewModel::setSearchBarText(const std::string& text) {
    dispatchPreconditionOnMain();
    m_searchBarText.set(text);
    updateRepresentedCountries();
}

void SettingsViewModel::updateRepresentedCountries() {
    // The inputs are copied now, on the main queue: the serial filter queue then computes each
    // result from the text it was scheduled with, and the results arrive in the order of the
    // changes, the newest last.
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    auto text = m_searchBarText.get();
    auto selected = m_selectedCountries.get();
    auto mainQueue = m_mainQueue;
    m_filterQueue->async([weakSelf, text, selected, mainQueue] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        const auto& all = self->m_allCountries;
        std::vector<Country> result;
        const bool empty = std::all_of(text.begin(), text.end(), [](char c) { return isBlank(c); });
        if (empty) {
            result = selectedFirst(selected, all);
        } else {
            for (const auto& country : all) {
                if (countryMatches(country, text)) {
                    result.push_back(country);
                }
            }
        }
        mainQueue->async([weakSelf, result = std::move(result)] {
            if (const auto model = weakSelf.lock()) {
                model->representedCountries.set(result);
            }
        });
    });
}

std::string SettingsViewModel::normalizedSearchText(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first])) {
        ++first;
    }
    while (last > first && isBlank(text[last - 1])) {
        --last;
    }
    // Accents come off first, so that an accented query keeps its letters under the a-z rule.
    const std::string folded =
        UnicodeText::withoutDiacritics(std::string_view(text).substr(first, last - first));
    // One pass instead of a regular expression: a pasted run of thousands of blanks must not cost
    // a stack frame each.
    std::string result;
    result.reserve(folded.size());
    bool inWhiteSpace = false;
    for (const char c : folded) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!inWhiteSpace) {
                result.push_back(' ');
            }
            inWhiteSpace = true;
            continue;
        }
        inWhiteSpace = false;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            result.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    return result;
}

bool SettingsViewModel::countryMatches(const Country& country, const std::string& searchText) {
    if (isEmojiOnly(searchText)) {
        return country.flagEmoji() && *country.flagEmoji() == searchText;
    }
    const std::string code = lowercased(country.countryCode());
    // The name loses its accents too, so "ala" reaches "Åland Islands".
    const std::string name = lowercased(UnicodeText::withoutDiacritics(country.countryName()));
    const std::string query = normalizedSearchText(searchText);
    if (code == query || name.rfind(query, 0) == 0) {
        return true;
    }
    if (query.size() >= 2) {
        std::string initials;
        bool atWordStart = true;
        for (const char c : name) {
            if (std::isspace(static_cast<unsigned char>(c))) {
                atWordStart = true;
            } else if (atWordStart) {
                initials.push_back(c);
                atWordStart = false;
            }
        }
        if (initials == query) {
            return true;
        }
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find(' ', start), name.size());
        const std::string word = name.substr(start, end - start);
        const auto length = levenshteinDistance(word, "");
        if (levenshteinDistance(word, query) <=
            static_cast<std::size_t>(static_cast<double>(length) * 0.3)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// MARK: Allow and deny lists

bool SettingsViewModel::matches(const FlowInfo& flowInfo, const AllowanceLookup& lookup) {
    if (flowInfo.empty()) {
        return false;
    }
    const auto* bundleId = find(flowInfo, kBundleId);
    if (bundleId && lookup.containsBundleId(*bundleId)) {
        return true;
    }
    const auto* host = find(flowInfo, kHostName);
    if (host && lookup.containsHostName(*host)) {
        return true;
    }
    const auto* address = find(flowInfo, kRemoteAddress);
    if (bundleId && address) {
        return lookup.containsHit(*bundleId, *address);
    }
    return false;
}

bool SettingsViewModel::isAllowed(const FlowInfo& flowInfo) {
    dispatchPreconditionOnMain();
    return matches(flowInfo, m_allowLookup);
}

bool SettingsViewModel::isDenied(const FlowInfo& flowInfo) {
    dispatchPreconditionOnMain();
    return matches(flowInfo, m_denyLookup);
}

void SettingsViewModel::rebuildLookups() {
    m_allowLookup = AllowanceLookup(m_bundleIdWhitelist, m_hostNameWhitelist, m_hitsWhitelist);
    m_denyLookup = AllowanceLookup(m_bundleIdBlacklist, m_hostNameBlacklist, m_hitsBlacklist);
}

void SettingsViewModel::runConnectionAlert(const ConnectionAlert& alert, const FlowInfo& flowInfo,
                                           const std::string& remoteAddress,
                                           std::chrono::steady_clock::time_point deadline,
                                           std::function<void(int)> completion) {
    dispatchPreconditionOnMain();
    // The answer comes from the user's button or from the deadline, whichever is first; the
    // other finds the alert answered.
    auto answered = std::make_shared<bool>(false);
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    auto finish = [weakSelf, answered, flowInfo, remoteAddress,
                   completion = std::move(completion)](int answer) {
        if (*answered) {
            return;
        }
        *answered = true;
        if (const auto self = weakSelf.lock()) {
            self->applyAlertAnswer(answer, flowInfo, remoteAddress);
        }
        completion(answer);
    };
    auto presenter = m_alertPresenter;
    m_mainQueue->asyncAfterDeadline(
        deadline,
        [finish, answered, presenter] {
            if (!*answered) {
                if (presenter) {
                    presenter->dismiss();
                }
                finish(ConnectionAlert::kNoAnswer);
            }
        },
        m_scheduler);
    if (!presenter) {
        finish(ConnectionAlert::kNoAnswer);
        return;
    }
    auto mainQueue = m_mainQueue;
    presenter->present(alert, [finish, mainQueue](int answer) {
        mainQueue->async([finish, answer] { finish(answer); });
    });
}

void SettingsViewModel::applyAlertAnswer(int answer, const FlowInfo& flowInfo,
                                         const std::string& remoteAddress) {
    dispatchPreconditionOnMain();
    using Scope = ConnectionAlertDecision::Scope;
    const auto decision = ConnectionAlertDecision::forAnswer(answer);
    // For the log, not the terminal: nothing is printed in normal use.
    LogHub::info(std::string("Connection alert answered: ") + wordForDecision(decision));
    const auto* bundleId = find(flowInfo, kBundleId);
    const auto* host = find(flowInfo, kHostName);
    bool added = false;
    if (decision && decision->scope != Scope::host && bundleId) {
        if (decision->scope == Scope::connection) {
            (decision->allow ? m_hitsWhitelist : m_hitsBlacklist)
                .push_back({*bundleId, remoteAddress});
        } else {
            (decision->allow ? m_bundleIdWhitelist : m_bundleIdBlacklist).push_back(*bundleId);
        }
        added = true;
    } else if (decision && decision->scope == Scope::host && host) {
        (decision->allow ? m_hostNameWhitelist : m_hostNameBlacklist).push_back(*host);
        added = true;
    }
    if (added) {
        // An answer appends one entry: the index takes it in place and the saving queue writes
        // it, so an answer costs the same with a hundred thousand entries as with none.
        const bool allow = decision->allow;
        switch (decision->scope) {
            case Scope::connection: {
                auto& list = allow ? m_hitsWhitelist : m_hitsBlacklist;
                (allow ? m_allowLookup : m_denyLookup).hitAppended();
                saveChange([entry = list.back(), allow](AllowanceList& lists) {
                    (allow ? lists.hitsWhitelist : lists.hitsBlackList).push_back(entry);
                });
                break;
            }
            case Scope::application: {
                auto& list = allow ? m_bundleIdWhitelist : m_bundleIdBlacklist;
                (allow ? m_allowLookup : m_denyLookup).bundleIdAppended();
                saveChange([entry = list.back(), allow](AllowanceList& lists) {
                    (allow ? lists.bundleIDWhitelist : lists.bundleIDBlacklist).push_back(entry);
                });
                break;
            }
            case Scope::host: {
                auto& list = allow ? m_hostNameWhitelist : m_hostNameBlacklist;
                (allow ? m_allowLookup : m_denyLookup).hostNameAppended();
                saveChange([entry = list.back(), allow](AllowanceList& lists) {
                    (allow ? lists.hostWhitelist : lists.hostBlacklist).push_back(entry);
                });
                break;
            }
        }
    }
    reloadAllowanceEntries();
}

void SettingsViewModel::saveChange(std::function<void(AllowanceList&)> change) {
    auto saved = m_savedLists;
    auto pending = m_pendingSaves;
    ++saved->pending;
    pending->enter();
    m_saveQueue->async([saved, pending, change = std::move(change)] {
        change(saved->lists);
        // A burst of answers is written once, after its last change.
        if (--saved->pending == 0 && !saved->lists.saveToSettings()) {
            LogHub::error("The allow and deny lists could not be saved");
        }
        pending->leave();
    });
}

void SettingsViewModel::waitUntilListsSaved() {
    m_pendingSaves->wait();
}

std::shared_ptr<void> SettingsViewModel::showListRows() {
    dispatchPreconditionOnMain();
    ++*m_rowViewers;
    if (*m_rowViewers == 1) {
        reloadAllowanceEntries();
    }
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    return std::shared_ptr<void>(nullptr, [weakSelf, viewers = m_rowViewers](void*) {
        if (--*viewers == 0) {
            // Nobody shows the rows: their memory goes.
            if (const auto self = weakSelf.lock()) {
                self->allowList.set({});
                self->denyList.set({});
            }
        }
    });
}

AllowanceList SettingsViewModel::allowanceList() const {
    AllowanceList list;
    list.bundleIDWhitelist = m_bundleIdWhitelist;
    list.bundleIDBlacklist = m_bundleIdBlacklist;
    list.hostWhitelist = m_hostNameWhitelist;
    list.hostBlacklist = m_hostNameBlacklist;
    list.hitsBlackList = m_hitsBlacklist;
    list.hitsWhitelist = m_hitsWhitelist;
    return list;
}

void SettingsViewModel::saveAllowanceList() {
    // Every change of the lists is saved, so the decision's index follows them here.
    rebuildLookups();
    saveChange([lists = allowanceList()](AllowanceList& saved) { saved = lists; });
    m_pendingSaves->wait();
}

void SettingsViewModel::reloadAllowanceEntries() {
    if (*m_rowViewers == 0) {
        return;
    }
    allowList.set({});
    denyList.set({});
    // One look at the running applications names every row.
    const RunningApplicationNames names(m_workspace);
    auto rows = [&names](bool isDenied, const std::vector<std::string>& bundleIds,
                         const std::vector<std::string>& hosts,
                         const std::vector<HitListEntry>& hits) {
        EntryList entries;
        for (const auto& bundleId : bundleIds) {
            entries.push_back(
                std::make_shared<Entry>(Entry::makeTitle(isDenied, Entry::Kind::bundleId,
                                                         names.applicationName(bundleId), bundleId),
                                        bundleId, Entry::Kind::bundleId));
        }
        for (const auto& host : hosts) {
            entries.push_back(
                std::make_shared<Entry>(Entry::makeTitle(isDenied, Entry::Kind::host, host, host),
                                        host, Entry::Kind::host));
        }
        for (const auto& hit : hits) {
            entries.push_back(
                std::make_shared<Entry>(Entry::makeTitle(isDenied, Entry::Kind::hit,
                                                         names.applicationName(hit.processId), hit),
                                        hit, Entry::Kind::hit));
        }
        return entries;
    };
    denyList.set(rows(true, m_bundleIdBlacklist, m_hostNameBlacklist, m_hitsBlacklist));
    allowList.set(rows(false, m_bundleIdWhitelist, m_hostNameWhitelist, m_hitsWhitelist));
}

void SettingsViewModel::addEntry(const std::shared_ptr<Entry>& entry, bool toDenyList) {
    dispatchPreconditionOnMain();
    if (insertItem(*entry, toDenyList)) {
        saveAllowanceList();
        reloadAllowanceEntries();
    }
}

bool SettingsViewModel::insertItem(const Entry& entry, bool toDenyList) {
    const auto& value = entry.value();
    switch (entry.kind()) {
        case Entry::Kind::bundleId:
        case Entry::Kind::host: {
            const auto* text = std::get_if<std::string>(&value);
            if (!text) {
                return false;
            }
            auto& list = entry.kind() == Entry::Kind::bundleId
                             ? (toDenyList ? m_bundleIdBlacklist : m_bundleIdWhitelist)
                             : (toDenyList ? m_hostNameBlacklist : m_hostNameWhitelist);
            list.insert(list.begin(), *text);
            break;
        }
        case Entry::Kind::hit: {
            const auto* hit = std::get_if<HitListEntry>(&value);
            if (!hit) {
                return false;
            }
            auto& list = toDenyList ? m_hitsBlacklist : m_hitsWhitelist;
            list.insert(list.begin(), *hit);
            break;
        }
    }
    return true;
}

void SettingsViewModel::removeEntry(const std::shared_ptr<Entry>& entry, bool fromDenyList) {
    dispatchPreconditionOnMain();
    if (eraseItem(*entry, fromDenyList)) {
        saveAllowanceList();
        reloadAllowanceEntries();
    }
}

bool SettingsViewModel::eraseItem(const Entry& entry, bool fromDenyList) {
    const auto& value = entry.value();
    switch (entry.kind()) {
        case Entry::Kind::bundleId:
        case Entry::Kind::host: {
            const auto* text = std::get_if<std::string>(&value);
            if (!text) {
                return false;
            }
            removeFirst(entry.kind() == Entry::Kind::bundleId
                            ? (fromDenyList ? m_bundleIdBlacklist : m_bundleIdWhitelist)
                            : (fromDenyList ? m_hostNameBlacklist : m_hostNameWhitelist),
                        *text);
            break;
        }
        case Entry::Kind::hit: {
            const auto* hit = std::get_if<HitListEntry>(&value);
            if (!hit) {
                return false;
            }
            removeFirst(fromDenyList ? m_hitsBlacklist : m_hitsWhitelist, *hit);
            break;
        }
    }
    return true;
}

void SettingsViewModel::moveToOtherList(const std::shared_ptr<Entry>& entry) {
    dispatchPreconditionOnMain();
    // Both steps are saved together, so no stored state ever lacks the entry, and a long list is
    // written and rebuilt once per move.
    const auto rows = allowList.get();
    const bool fromDenyList = std::find(rows.begin(), rows.end(), entry) == rows.end();
    const bool removed = eraseItem(*entry, fromDenyList);
    const bool added = insertItem(*entry, !fromDenyList);
    if (removed || added) {
        saveAllowanceList();
        reloadAllowanceEntries();
    }
}

void SettingsViewModel::removeHitItem(const std::shared_ptr<Entry>& entry, bool inDenyList) {
    dispatchPreconditionOnMain();
    std::weak_ptr<SettingsViewModel> weakSelf = weak_from_this();
    m_mainQueue->async([weakSelf, entry, inDenyList] {
        if (const auto self = weakSelf.lock()) {
            self->removeEntry(entry, inDenyList);
        }
    });
    LogHub::info("[BundleIdBlackList]: " + describe(m_bundleIdBlacklist));
    LogHub::info("[BundleIdWhiteList]: " + describe(m_bundleIdWhitelist));
    LogHub::info("[HitsBlackList]: " + describe(m_hitsBlacklist));
    LogHub::info("[HitsWhitelist]: " + describe(m_hitsWhitelist));
    LogHub::info("[HostNameBlacklist]: " + describe(m_hostNameBlacklist));
    LogHub::info("[HostNameWhitelist]: " + describe(m_hostNameWhitelist));
}

void SettingsViewModel::removeAllEntries(bool fromDenyList) {
    dispatchPreconditionOnMain();
    (fromDenyList ? denyList : allowList).set({});
    for (auto* list :
         fromDenyList
             ? std::vector<std::vector<std::string>*>{&m_bundleIdBlacklist, &m_hostNameBlacklist}
             : std::vector<std::vector<std::string>*>{&m_bundleIdWhitelist, &m_hostNameWhitelist}) {
        list->clear();
        saveAllowanceList();
    }
    (fromDenyList ? m_hitsBlacklist : m_hitsWhitelist).clear();
    saveAllowanceList();
}

}  // namespace tarnwick
