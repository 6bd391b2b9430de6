#include "AppDelegate.h"

#include "FeedbackFormPresenter/FeedbackFormPresenter.h"
#include "Logging/LogHub.h"
#include "MessageBoxStartupAlertPresenter.h"
#include "Network/HTTPSession.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "ScreenModelAssembly.h"
#include "ScreenViewAssembly.h"
#include "Shell/AppMover.h"
#include "Shell/ApplicationTerminator.h"
#include "Shell/FilterShutdown.h"
#include "Shell/UpdateChecker.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Tools/BundleUtilities.h"
#include "Tools/Log/LoggingSetUp.h"
#include "Tools/SettingsKey.h"

#include <QApplication>
#include <QWidget>

#include <limits>

namespace tarnwick {

AppDelegate::AppDelegate()
    : AppDelegate(std::make_shared<MessageBoxStartupAlertPresenter>(
                      [this]() -> QWidget* { return m_mainWindow.get(); }),
                  UpdateChecker::productionFeed) {}

AppDelegate::AppDelegate(std::shared_ptr<StartupAlertPresenter> alerts, std::string updateFeedURL)
    : m_alerts(std::move(alerts)), m_updateFeedURL(std::move(updateFeedURL)) {
    setUpLogging();
    LogHub::info("---------- v." + versionText(Bundle::main()).value_or("") + " ----------");
    m_services = std::make_unique<ApplicationServices>();
}

AppDelegate::~AppDelegate() {
    ApplicationTerminator::setHandler(nullptr);
    applicationWillTerminate();
}

QWidget* AppDelegate::mainWindow() const {
    return m_mainWindow.get();
}

void AppDelegate::applicationWillTerminate() {
    m_services->shutDown();
}

void AppDelegate::applicationDidFinishLaunching() {
    m_previousLaunchesCount =
        Settings::value(SettingsKey::launchesCount).value_or(Value()).asInteger().value_or(0);
    const bool isFixingExtension =
        Settings::value(SettingsKey::isFixingExtension).value_or(Value()).asBool().value_or(false);
    if (!isFixingExtension) {
        // A hand-edited count at the largest number stays there: counting on would overflow, and
        // failing would fail every launch from now on.
        if (m_previousLaunchesCount == std::numeric_limits<std::int64_t>::max()) {
            LogHub::warning("The launch count is at its largest value and is not counted on");
        } else {
            Settings::set(Value(m_previousLaunchesCount + 1), SettingsKey::launchesCount);
        }
    }

    const bool didCompleteOnboarding = Settings::value(SettingsKey::didCompleteOnboarding)
                                           .value_or(Value())
                                           .asBool()
                                           .value_or(false);

    ApplicationTerminator::setHandler([this] { applicationShouldTerminate(); });
    MainWindow::Dependencies dependencies;
    dependencies.checkForUpdates = [this] { checkForUpdates(false); };
    dependencies.provideFeedback = [this] {
        if (!m_feedbackFormPresenter) {
            m_feedbackFormPresenter = std::make_unique<FeedbackFormPresenter>();
        }
        m_feedbackFormPresenter->presentFeedbackForm();
    };
    dependencies.makeScreenModels = [this](MainWindow& window) {
        return makeScreenModels(window, *m_services);
    };
    dependencies.makeScreen = &tarnwick::makeScreenView;
    m_mainWindow = std::make_unique<MainWindow>(m_previousLaunchesCount, std::move(dependencies));
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();

    offerMoveToApplicationsFolder();

    if (didCompleteOnboarding) {
        checkForUpdates(true);
    }
}

void AppDelegate::showMainWindow() {
    if (!m_mainWindow) {
        return;  // still starting: the window shows itself when made
    }
    LogHub::info("Another start asked for the window");
    m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void AppDelegate::offerMoveToApplicationsFolder() {
    // Only a real bundle moves: builds run from elsewhere (tests, tools) have nothing to move.
    const std::filesystem::path bundle = Bundle::main().bundlePath();
    if (bundle.extension() != ".app") {
        return;
    }
    AppMover::Environment environment = AppMover::standardEnvironment();
    environment.sourceBundle = bundle;
    environment.applicationName = "Tarnwick";
    environment.confirmMove = [alerts = m_alerts,
                               name = environment.applicationName](bool needsAuthorization) {
        return alerts->confirmMove(AppMover::moveAlertInformativeText(name, needsAuthorization));
    };
    environment.reportFailure = [alerts = m_alerts](const std::string& message) {
        alerts->reportMoveFailure(message);
    };
    (void)AppMover::moveToApplicationsFolderIfNeeded(false, environment);
}

void AppDelegate::applicationShouldTerminate() {
    if (m_isTerminating) {
        return;
    }
    m_isTerminating = true;
    const std::shared_ptr<FilterManagerClient> client = m_services->filterManagerClient();
    FilterShutdown::FilterManager manager;
    manager.load = [client](auto completion) {
        if (!client) {
            completion(std::nullopt);
            return;
        }
        // A load error is not examined: the filter is switched off in any case.
        client->loadFromPreferences(
            [completion](const std::optional<FilterConfiguration>& configuration,
                         const std::optional<std::string>&) { completion(configuration); });
    };
    manager.save = [client](const FilterConfiguration& configuration, auto completion) {
        if (!client) {
            completion();
            return;
        }
        client->saveToPreferences(
            configuration, [completion](const std::optional<std::string>&) { completion(); });
    };
    // exit, not quit: quit asks every window to close first, and the main window refuses a close
    // (a close is itself a request to quit), so the application would stay open.
    FilterShutdown::run(std::move(manager), [] { QCoreApplication::exit(0); });
}

void AppDelegate::checkForUpdates(bool inBackground) {
    if (!m_updateSession) {
        m_updateSession = m_services->makeHTTPSession();
    }
    const UpdateChecker checker(m_updateFeedURL, versionText(Bundle::main()).value_or("0"),
                                m_updateSession);
    // Held weakly: the answer may come after the delegate is gone.
    checker.check(
        [alerts = std::weak_ptr(m_alerts), inBackground](const UpdateChecker::Outcome& outcome) {
            if (inBackground && outcome.kind != UpdateChecker::Outcome::Kind::updateAvailable) {
                return;
            }
            if (const auto presenter = alerts.lock()) {
                presenter->reportUpdateCheck(outcome.message);
            }
        });
}

}  // namespace tarnwick
