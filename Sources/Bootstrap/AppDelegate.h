#pragma once

#include "Bootstrap/ApplicationServices.h"

#include <QObject>

#include <cstdint>
#include <memory>

class QWidget;

namespace tarnwick {

// The application's start-up: logging first, then the launch count and the main window.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    AppDelegate();
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Shuts the services down in order; the application quits after it.
    void applicationWillTerminate();

    ApplicationServices& services() const { return *m_services; }

    // The launch count as read before this launch.
    std::int64_t previousLaunchesCount() const { return m_previousLaunchesCount; }
    QWidget* mainWindow() const { return m_mainWindow.get(); }

private:
    std::unique_ptr<ApplicationServices> m_services;
    std::unique_ptr<QWidget> m_mainWindow;
    std::int64_t m_previousLaunchesCount = 0;
};

}  // namespace tarnwick
