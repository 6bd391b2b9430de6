#pragma once

#include "Bootstrap/ApplicationServices.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

class QWidget;

namespace tarnwick {

class FeedbackFormPresenter;

class HTTPSession;
class MainWindow;
class StartupAlertPresenter;

// The application's start-up: logging first, then the launch count and the main window.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Message boxes over the main window and the maker's update feed.
    AppDelegate();
    AppDelegate(std::shared_ptr<StartupAlertPresenter> alerts, std::string updateFeedURL);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Another start asked for the window: brought forward, out of the task bar when minimised,
    // keeping its maximised or full-screen state.
    void showMainWindow();
    // The one way to quit: switches the content filter off (within a bounded wait), then ends
    // the event loop. Menu, window buttons and closing the main window all come here.
    void applicationShouldTerminate();
    // Runs the update check and tells the user what it found; in the background only an
    // available update is told.
    void checkForUpdates(bool inBackground);

private:
    // Offers to move a bundle that runs from outside an Applications folder.
    void offerMoveToApplicationsFolder();

public:
    // Shuts the services down in order; the application quits after it.
    void applicationWillTerminate();

    ApplicationServices& services() const { return *m_services; }

    // The launch count as read before this launch.
    std::int64_t previousLaunchesCount() const { return m_previousLaunchesCount; }
    QWidget* mainWindow() const;

private:
    std::unique_ptr<ApplicationServices> m_services;
    std::shared_ptr<StartupAlertPresenter> m_alerts;
    const std::string m_updateFeedURL;
    std::unique_ptr<MainWindow> m_mainWindow;
    // Made when the form is first asked for.
    std::unique_ptr<FeedbackFormPresenter> m_feedbackFormPresenter;
    std::shared_ptr<HTTPSession> m_updateSession;
    bool m_isTerminating = false;
    std::int64_t m_previousLaunchesCount = 0;
};

}  // namespace tarnwick
