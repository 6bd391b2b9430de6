#pragma once

#include "AppMonitorAnimationManager.h"
#include "Combine/AnyCancellable.h"
#include "Combine/Published.h"
#include "Dispatch/DispatchQueue.h"
#include "Foundation/NotificationCenter.h"
#include "Foundation/Process.h"
#include "Foundation/Result.h"
#include "Network/HTTPSession.h"
#include "PUApplication.h"
#include "Privileged/AdministratorCommand.h"
#include "StaticAnalysisWorkflow.h"
#include "Tools/DNSResolver.h"
#include "Tools/ScanState.h"
#include "Tools/WhoIs.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The remover program, found as the other privileged programs are (PrivilegedPrograms).
std::filesystem::path defaultApplicationRemover();

// The model behind the App Monitor screen: builds the scan pipeline once, starts a scan when asked,
// turns the workflow's statuses into the progress text, the scan state and the mascot's frames,
// keeps the last scan's findings and removes a found application with administrator rights.
// Every published value changes on the main queue; work elsewhere hops there and holds the model
// weakly.
class AppMonitorViewModel : public std::enable_shared_from_this<AppMonitorViewModel> {
public:
    using Status = StaticAnalysisWorkflowStatus;
    using Applications = std::vector<std::shared_ptr<PUApplication>>;

    // What the pipeline talks to. The services from `undesirableCountries` to the sessions are
    // required: one missing is a std::invalid_argument naming it. The sessions are the owner's,
    // so that it can cancel their requests at quit.
    struct Environment {
        LocalApplicationsScanner::Folders folders = LocalApplicationsScanner::Folders::standard();
        std::string denyListHost = std::string(DenyListProvider::defaultWebHost);
        std::string lookupService = std::string(AppStoreInfoProvider::defaultLookupService);
        std::function<bool()> isPathSatisfied;  // none: the system's routes
        DNSResolver resolver;
        const UndesirableCountriesManagerType* undesirableCountries = nullptr;
        std::function<bool()> didFetchUndesirableCountries;
        Preferences* preferences = nullptr;
        Scheduler* scheduler = nullptr;
        std::shared_ptr<HTTPSession> denyListSession;
        std::shared_ptr<HTTPSession> storeSession;
        // The geo-IP client of the domains the applications name.
        std::shared_ptr<const WhoIs> whois;
        CommandRunner commandRunner = systemCommandRunner();
        // The program that removes a bundle as root (see ApplicationRemover).
        std::filesystem::path applicationRemover = defaultApplicationRemover();
        // Where a removal runs and waits for its password prompt, never the main queue, which
        // serves the window and the extension's link. None: on the caller's thread. Used for
        // testing only in part.
        std::shared_ptr<DispatchQueue> removalQueue = AdministratorCommand::queue();
        std::function<int(int, int)> random;  // none: the mascot's random pauses
    };

    static std::shared_ptr<AppMonitorViewModel> make(NotificationCenter& notificationCenter,
                                                     Environment environment);
    ~AppMonitorViewModel();

    // The scan action: nothing without target countries.
    void startScan();
    void apply(std::optional<Status> status);
    // Removes the found application: its own scanned bundle, or what its package manager
    // installed. The work runs on `removalQueue`; the answer comes on the main queue, where the
    // row goes when the application went and `completion(true)` follows two seconds later, or
    // `completion(false)` comes at once with `lastRemovalError` set when it did not.
    void removeApplication(const std::shared_ptr<PUApplication>& application,
                           std::function<void(bool removed)> completion);
    // Why the last removal of a desktop application failed, for the pop-up to show.
    const std::optional<std::string>& lastRemovalError() const { return m_lastRemovalError; }

    // The setters the views' bindings use.
    void setScanState(ScanState scanState);
    void setCurrentQuendleFrame(const std::string& frame);
    // Copies the shared target-country flag into `didFetchUndesirableCountries`.
    void refreshDidFetchUndesirableCountries();

    const Published<bool>& networkStatusForLastScan() const { return m_networkStatusForLastScan; }
    const Published<Applications>& puApplications() const { return m_puApplications; }
    const Published<std::string>& progressDescription() const { return m_progressDescription; }
    const Published<std::optional<Status>>& status() const { return m_status; }
    const Published<bool>& didFetchUndesirableCountries() const {
        return m_didFetchUndesirableCountries;
    }
    const Published<ScanState>& scanState() const { return m_scanState; }
    const Published<std::string>& currentQuendleFrame() const { return m_currentQuendleFrame; }
    const std::shared_ptr<AppMonitorAnimationManager>& animationManager() const {
        return m_animationManager;
    }
    const std::shared_ptr<StaticAnalysisWorkflow>& analysisWorkflow() const {
        return m_analysisWorkflow;
    }

    static std::string progressText(std::optional<Status> status, std::size_t foundCount);

private:
    AppMonitorViewModel(NotificationCenter& notificationCenter, Environment environment);
    void build();
    void setNetworkStatus(bool available);
    void nothingFoundEnding();
    void foundEnding();
    void finishRemoval(const std::shared_ptr<PUApplication>& application,
                       Result<void, std::string> removal, std::function<void(bool)> completion);

    Environment m_environment;
    std::shared_ptr<StaticAnalysisWorkflow> m_analysisWorkflow;
    std::vector<AnyCancellable> m_cancellables;
    std::shared_ptr<DispatchQueue> m_mainThread;
    NotificationCenter& m_notificationCenter;
    NotificationCenter::ObserverToken m_networkUpdatesObserver;
    Published<bool> m_networkStatusForLastScan{true};
    Published<Applications> m_puApplications;
    Published<std::string> m_progressDescription;
    Published<std::optional<Status>> m_status;
    Published<bool> m_didFetchUndesirableCountries;
    Published<ScanState> m_scanState{ScanState::standBy};
    std::shared_ptr<AppMonitorAnimationManager> m_animationManager;
    Published<std::string> m_currentQuendleFrame;
    std::optional<std::string> m_lastRemovalError;
};

// Removes an application bundle with administrator rights, through the remover program (see
// ApplicationRemover). Refused without asking when the path is not an absolute, existing folder
// named "*.app" reached without a symbolic link (not "/", not an Applications folder itself); the
// path is one argument of the removal, never shell text.
bool removeApplicationBundle(const std::filesystem::path& bundleURL,
                             const CommandRunner& commandRunner,
                             const std::filesystem::path& remover = defaultApplicationRemover());

}  // namespace tarnwick
