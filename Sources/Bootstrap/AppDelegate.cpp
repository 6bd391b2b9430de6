#include "AppDelegate.h"

#include "Tools/Log/LoggingSetUp.h"
#include "Logging/LogHub.h"
#include "Tools/BundleUtilities.h"
#include "Tools/SettingsKey.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <limits>

namespace tarnwick {

AppDelegate::AppDelegate() {
    setUpLogging();
    LogHub::info("---------- v." + versionText(Bundle::main()).value_or("") + " ----------");
    m_services = std::make_unique<ApplicationServices>();
}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
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

    // A plain window stands in until the main window with its screens exists.
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Tarnwick"));
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(new QLabel(QStringLiteral("Tarnwick"), window.get()));
    window->resize(480, 320);
    window->show();
    m_mainWindow = std::move(window);
}

}  // namespace tarnwick
