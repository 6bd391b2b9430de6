// A headless application for the end-to-end test and the benchmark: the real connection monitor
// engine over the real filter manager, link and system-extension stand-in, whose connection alert
// is answered by the first button that starts with a given text. It reports on standard output, one
// line per event:
//
//   status <stopped|configuring|indeterminate|running>
//   alert <the alert's informative text, its lines joined by " | ">
//   tree <the applications and their hits, as JSON>
//   deactivated <ok | the error>
//   relaunch                                        the engine asked for a new instance
//
// Closing its standard input removes the extension and ends the program.
//
//   --app <bundle> --geoip <service URL> --settings <file> --answer <button text prefix>
//   --install-folder <folder> --helper <program>    the extension is activated through the helper
//   --extension-running yes                         the caller has started the extension: every
//                                                   activation request finishes at once
//   --cancel-first yes                              the first explanation is cancelled
//                                                   ("explanation cancelled"), later ones go on
//   --applications-folder <folder> --package-folder <folder>
//                                                   where the application counts as installed
//
// Once the network is up it does what the user does first: switches the monitor on. Every second
// it tells the engine that a window became key, as a user moving between windows does, so a
// relaunch that waits for one happens.

#include "EngineHost.h"

#include "Dispatch/RunLoop.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/Process.h"
#include "Foundation/UserDefaults.h"
#include "Network/ManualPathSource.h"
#include "Network/PathMonitor.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "XPC/XPCEventLoop.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tarnwick::testing {

using namespace std::chrono_literals;

namespace {

void say(const std::string& line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::atomic<bool> g_stopRequested{false};

void stopPolledLoop() {
    g_stopRequested = true;
    DispatchQueue::main()->async([] {});
}

// The main thread waits for main-queue work and for the link to the extension in one poll, as the
// application's Qt loop does, so a flow wakes it once.
void runMainLoop(const std::shared_ptr<XPCEventLoop>& link) {
    const FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    DispatchQueue::main()->setMainWakeUpHandler([fd = wake.get()] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(fd, &one, sizeof(one));
    });
    while (!g_stopRequested) {
        DispatchQueue::main()->drainMain();
        const auto due = link->dispatch();
        // The wait is bounded, so a stop is never missed for long.
        auto timeout = std::chrono::milliseconds(1000);
        if (due) {
            timeout = std::clamp(
                std::chrono::ceil<std::chrono::milliseconds>(*due - XPCEventLoop::Clock::now()),
                std::chrono::milliseconds(0), timeout);
        }
        pollfd descriptors[2] = {{link->descriptor(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
        if (::poll(descriptors, 2, static_cast<int>(timeout.count())) > 0 &&
            (descriptors[1].revents & POLLIN)) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto read = ::read(wake.get(), &value, sizeof(value));
        }
    }
    DispatchQueue::main()->setMainWakeUpHandler(nullptr);
}

std::string oneLine(std::string text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
        text.replace(at, 1, " | ");
    }
    return text;
}

class ScriptedAlerts final : public ConnectionAlertPresenter {
public:
    explicit ScriptedAlerts(std::string prefix) : m_prefix(std::move(prefix)) {}

    void present(const ConnectionAlert& alert, Answer answer) override {
        say("alert " + oneLine(alert.informativeText));
        int chosen = ConnectionAlert::kNoAnswer;
        for (std::size_t index = 0; index < alert.buttons.size(); ++index) {
            if (alert.buttons[index].rfind(m_prefix, 0) == 0) {
                chosen = ConnectionAlert::kFirstButtonAnswer + static_cast<int>(index);
                break;
            }
        }
        DispatchQueue::main()->async([answer = std::move(answer), chosen] { answer(chosen); });
    }
    void dismiss() override {}

private:
    std::string m_prefix;
};

// The user has read the explanation and goes on at once; with `cancelFirst`, the user cancels
// the first explanation and goes on with the next.
class ContinuingSheets final : public SheetPresenter {
public:
    explicit ContinuingSheets(bool cancelFirst) : m_cancelFirst(cancelFirst) {}

    bool presentSystemExtensionExplanation(std::function<void()> onContinue) override {
        DispatchQueue::main()->async(std::move(onContinue));
        return true;
    }
    bool presentDismissableSystemExtensionExplanation(std::function<void()> onContinue,
                                                      std::function<void()> onCancel) override {
        if (std::exchange(m_cancelFirst, false) && onCancel) {
            DispatchQueue::main()->async([onCancel = std::move(onCancel)] {
                onCancel();
                say("explanation cancelled");
            });
            return true;
        }
        return presentSystemExtensionExplanation(std::move(onContinue));
    }

private:
    bool m_cancelFirst;
};

class PrintedErrors final : public ErrorAlertPresenter {
public:
    void presentError(const std::string& message) override { say("error " + oneLine(message)); }
};

class PrintedNotifications final : public UserNotificationCenter {
public:
    void add(const UserNotification& notification, Completion completion) override {
        say("notification " + oneLine(notification.title + " " + notification.body));
        completion(std::nullopt);
    }
};

// Ends the main loop, the screen's when there is one.
std::function<void()>& stopMainLoop() {
    static std::function<void()> stop = [] { stopPolledLoop(); };
    return stop;
}

class Deactivation final : public OSSystemExtensionRequestDelegate {
public:
    OSSystemExtensionReplacementAction actionForReplacingExtension(
        const OSSystemExtensionRequest&, const OSSystemExtensionProperties&,
        const OSSystemExtensionProperties&) override {
        return OSSystemExtensionReplacementAction::cancel;
    }
    void requestNeedsUserApproval(const OSSystemExtensionRequest&) override {}
    void requestDidFinishWithResult(const OSSystemExtensionRequest&,
                                    OSSystemExtensionRequestResult) override {
        say("deactivated ok");
        stopMainLoop()();
    }
    void requestDidFailWithError(const OSSystemExtensionRequest&,
                                 const OSSystemExtensionError& error) override {
        say("deactivated " + oneLine(error.localizedDescription));
        stopMainLoop()();
    }
};

// The extension was started by the caller, as the system would have.
class RunningExtension final : public OSSystemExtensionManager {
public:
    RunningExtension() : OSSystemExtensionManager(Configuration{}) {}
    void submitRequest(const std::shared_ptr<OSSystemExtensionRequest>& request) override {
        request->queue()->async([request] {
            if (const auto delegate = request->delegate()) {
                delegate->requestDidFinishWithResult(*request,
                                                     OSSystemExtensionRequestResult::completed);
            }
        });
    }
};

const char* statusName(ConnectionsMonitorViewModel::Status status) {
    switch (status) {
        case ConnectionsMonitorViewModel::Status::stopped:
            return "stopped";
        case ConnectionsMonitorViewModel::Status::configuring:
            return "configuring";
        case ConnectionsMonitorViewModel::Status::indeterminate:
            return "indeterminate";
        case ConnectionsMonitorViewModel::Status::running:
            return "running";
    }
    return "unknown";
}

std::string treeOf(const ConnectionsMonitorViewModel& model) {
    auto applications = nlohmann::json::array();
    for (const auto& application : model.applications()) {
        auto hits = nlohmann::json::array();
        for (const auto& hit : application->children.get()) {
            hits.push_back({{"address", hit->remoteAddress()},
                            {"allowed", hit->isAllowed()},
                            {"count", hit->count()},
                            {"country", hit->countryCode2()}});
        }
        applications.push_back(
            {{"application", application->bundleIdentifier()}, {"hits", std::move(hits)}});
    }
    return applications.dump();
}

// Reports what changed since the last look, every 100 ms, for as long as the model lives.
void watch(std::weak_ptr<ConnectionsMonitorViewModel> weakModel, std::string lastStatus,
           std::string lastTree, EngineHostScreen* screen) {
    const auto model = weakModel.lock();
    if (!model) {
        return;
    }
    std::string status = statusName(model->status.get());
    if (status != lastStatus) {
        say("status " + status);
    }
    std::string tree = treeOf(*model);
    if (tree != lastTree) {
        say("tree " + tree);
        if (screen) {
            screen->treeChanged();
        }
    }
    DispatchQueue::main()->asyncAfter(
        100ms, [weakModel, status = std::move(status), tree = std::move(tree), screen] {
            watch(weakModel, status, tree, screen);
        });
}

void activateWindowsEverySecond() {
    NotificationCenter::defaultCenter().post(
        ConnectionsMonitorViewModel::kWindowDidBecomeKeyNotification);
    DispatchQueue::main()->asyncAfter(1s, [] { activateWindowsEverySecond(); });
}

}  // namespace

int runEngineHost(int argc, char** argv, EngineHostScreen* screen) {
    std::map<std::string, std::string> options;
    for (int index = 1; index + 1 < argc; index += 2) {
        options[argv[index]] = argv[index + 1];
    }
    for (const char* required : {"--app", "--geoip", "--settings", "--answer"}) {
        if (options.count(required) == 0) {
            std::fprintf(stderr, "engine_host: %s is missing\n", required);
            return 2;
        }
    }
    UserDefaults::standard().resetForTesting(options["--settings"]);
    // Before anything connects: the link to the extension is served on this thread.
    const auto link = XPCEventLoop::createDriven("main thread");
    if (!link) {
        std::fprintf(stderr, "engine_host: no loop for the link\n");
        return 1;
    }
    // The screen's Qt loop leaves the link its own thread.
    if (!screen) {
        XPCEventLoop::setMainThreadLoop(link);
    }

    const Bundle application(options["--app"]);
    std::unique_ptr<OSSystemExtensionManager> extensionStandIn;
    if (options["--extension-running"] == "yes") {
        extensionStandIn = std::make_unique<RunningExtension>();
    } else {
        extensionStandIn =
            std::make_unique<OSSystemExtensionManager>(OSSystemExtensionManager::Configuration{
                application.bundlePath(), options["--install-folder"], options["--helper"],
                systemCommandRunner(), [] { return ::geteuid() == 0; }});
    }
    OSSystemExtensionManager& extensionManager = *extensionStandIn;
    UndesirableCountriesManager countries;
    Preferences preferences;

    SettingsViewModel::Dependencies settings;
    settings.preferences = &preferences;
    settings.undesirableCountries = &countries;
    settings.workspace = &Workspace::shared();
    settings.scheduler = &Scheduler::system();
    settings.alertPresenter = std::make_shared<ScriptedAlerts>(options["--answer"]);
    auto settingsModel = std::make_shared<SettingsViewModel>(settings);

    ConnectionsMonitorViewModel::Dependencies dependencies;
    dependencies.allowancesListManager = settingsModel;
    // The real filter manager and link: this host stands for the application.
    dependencies.filterManager = &NEFilterManager::shared();
    dependencies.extensionManager = &extensionManager;
    dependencies.ipcConnection = &IPCConnection::shared();
    dependencies.scheduler = &Scheduler::system();
    dependencies.notificationCenter = &NotificationCenter::defaultCenter();
    dependencies.workspace = &Workspace::shared();
    // The state of the test's own network is not what this program looks at.
    const auto network = std::make_shared<NetworkValidator>([] {
        return std::make_shared<PathMonitor>(
            std::make_shared<ManualPathSource>(NetworkPath{NetworkPath::Status::satisfied}));
    });
    dependencies.networkValidator = network;
    dependencies.undesirableCountries = &countries;
    dependencies.whois = std::make_shared<WhoIs>(options["--geoip"]);
    dependencies.geoIPServiceHost = "127.0.0.1";
    dependencies.mainBundle = &application;
    dependencies.errorAlerts = std::make_shared<PrintedErrors>();
    dependencies.sheets = std::make_shared<ContinuingSheets>(options["--cancel-first"] == "yes");
    // An install as the package makes it, beside a user's own Applications folder.
    if (options.count("--applications-folder") != 0) {
        dependencies.installLocations.applicationDirectories = {options["--applications-folder"]};
    }
    if (options.count("--package-folder") != 0) {
        dependencies.installLocations.packageDirectories = {options["--package-folder"]};
    }
    dependencies.userNotifications = std::make_shared<PrintedNotifications>();
    dependencies.relaunch = [] { say("relaunch"); };
    dependencies.reverseLookup = [](const std::string&) { return std::nullopt; };
    auto model = ConnectionsMonitorViewModel::create(std::move(dependencies));

    auto deactivation = std::make_shared<Deactivation>();
    std::thread([&extensionManager, deactivation, &application] {
        char buffer[256];
        while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
        }
        DispatchQueue::main()->async([&extensionManager, deactivation, &application] {
            const auto extensions = application.contentsPath() / "Library/SystemExtensions";
            for (const auto& entry : std::filesystem::directory_iterator(extensions)) {
                if (const auto identifier = Bundle(entry.path()).bundleIdentifier()) {
                    auto request = OSSystemExtensionRequest::deactivationRequest(
                        *identifier, DispatchQueue::main());
                    request->setDelegate(deactivation);
                    extensionManager.submitRequest(request);
                    return;
                }
            }
            say("deactivated no extension in the bundle");
            stopMainLoop()();
        });
    }).detach();

    watch(model, "", "", screen);
    activateWindowsEverySecond();
    // As the user would: the switch is used once the network is known to be up.
    RunLoop::main().runUntil([&network] { return network->isNetworkUp(); }, 10s);
    if (screen) {
        stopMainLoop() = [screen] { screen->stop(); };
        screen->show(model);
        screen->run();
    } else {
        model->startMonitoring();
        runMainLoop(link);
    }
    model.reset();
    XPCEventLoop::setMainThreadLoop(nullptr);
    return 0;
}

}  // namespace tarnwick::testing
