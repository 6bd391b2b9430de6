#include "Dispatch/ManualScheduler.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/DetectionLevelView.h"
#include "Screens/Settings/Views/RestrictionsView.h"
#include "Screens/Settings/Views/SettingsView.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "support/MainWindowDependencies.h"
#include "support/ModelDependencies.h"
#include "support/Screenshots.h"
#include "support/TemporarySettings.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
void save(QWidget* widget, const QString& name) {
    testing::saveScreenshot(widget, QStringLiteral(TARNWICK_SCREENSHOT_DIR), name);
}

class SettingsScreenshots : public ::testing::TestWithParam<bool> {};

TEST_P(SettingsScreenshots, SavesEachTab) {
    const bool dark = GetParam();
    const QString suffix = dark ? u"dark"_s : u"light"_s;
    testing::applyScreenshotAppearance(dark);
    testing::TemporarySettings settings;
    AllowanceList lists;
    lists.bundleIDWhitelist = {"org.example.editor"};
    lists.hostWhitelist = {"updates.example.org"};
    lists.hitsWhitelist = {{"org.example.browser", "192.0.2.10"}};
    lists.bundleIDBlacklist = {"com.example.tracker"};
    lists.hostBlacklist = {"telemetry.example.net", "ads.example.com"};
    lists.saveToSettings();

    NotificationCenter center;
    ManualScheduler scheduler;
    MainWindow::Dependencies dependencies = testing::mainWindowDependencies(center, scheduler);
    dependencies.makeScreenModels = [](MainWindow&) {
        return ScreenModels{nullptr,
                            std::make_shared<SettingsViewModel>(testing::settingsDependencies()),
                            nullptr,
                            {}};
    };
    dependencies.makeScreen = [](AppActiveScreenType screen, MainWindow& window,
                                 QWidget* parent) -> QWidget* {
        return screen == AppActiveScreenType::settings
                   ? new SettingsView(window.screenModels().settings,
                                      {allSettingsTabs.begin(), allSettingsTabs.end()},
                                      {&window, [&window] { window.presentIOSPromotion(); }},
                                      parent)
                   : nullptr;
    };
    MainWindow window(5, dependencies);
    window.resize(1100, 720);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto settingsView = [&] {
        return qobject_cast<SettingsView*>(
            window.mainView()->layoutView()->screen(AppActiveScreenType::settings));
    };
    for (const SettingsTab tab : allSettingsTabs) {
        center.post("switchScreen", tab);
        QTest::qWait(MainWindowLayout::switchDurationMilliseconds + 300);
        ASSERT_NE(settingsView(), nullptr);
        save(&window, u"settings-"_s +
                          QString::fromUtf8(rawValue(tab).data()).toLower().replace(u' ', u'-') +
                          u"-"_s + suffix);
    }
    center.post("switchScreen", SettingsTab::restrictions);
    QTest::qWait(200);
    auto* restrictions = qobject_cast<RestrictionsView*>(settingsView()->body());
    ASSERT_NE(restrictions, nullptr);
    restrictions->detectionLevelView()->setExpanded(true);
    QTest::qWait(100);
    save(&window, u"settings-detection-level-menu-"_s + suffix);
    restrictions->detectionLevelView()->setExpanded(false);
}

INSTANTIATE_TEST_SUITE_P(Appearances, SettingsScreenshots, ::testing::Values(false, true));

}  // namespace
}  // namespace tarnwick
