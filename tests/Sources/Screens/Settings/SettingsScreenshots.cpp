#include "Dispatch/ManualScheduler.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/DetectionLevelView.h"
#include "Screens/Settings/Views/RestrictionsView.h"
#include "Screens/Settings/Views/SettingsTabButtonView.h"
#include "Screens/Settings/Views/SettingsView.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "support/MainWindowDependencies.h"
#include "support/ModelDependencies.h"
#include "support/Screenshots.h"
#include "support/TemporarySettings.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
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
    // The tab is shown once its button is selected and the screen has come to rest.
    const auto shows = [&](SettingsTab tab) {
        const SettingsView* view = settingsView();
        return view != nullptr && view->isVisible() && view->pos() == QPoint(0, 0) &&
               view->tabButton(tab)->isSelected() && testing::animationsAtRest();
    };
    // What each tab's picture must show: its title, its lists drawn, their controls.
    const auto textsOf = [](SettingsTab tab) -> QStringList {
        switch (tab) {
            case SettingsTab::restrictions:
                return {u"Pick your restrictions"_s, u"Required restrictions"_s,
                        u"Additional restrictions"_s, u"Current detection level:"_s};
            case SettingsTab::targetCoutries:
                return {u"Select your target"_s};
            case SettingsTab::connectionsList:
                return {u"Manage your connections"_s, u"Allow list"_s, u"Deny list"_s,
                        u"Remove all"_s};
        }
        return {};
    };
    const auto shownIn = [&](SettingsTab tab) {
        std::vector<const QWidget*> widgets{settingsView()->tabButton(tab)};
        if (tab == SettingsTab::targetCoutries) {
            widgets.push_back(settingsView()->body()->findChild<QLineEdit*>());
        }
        for (const auto* list : settingsView()->body()->findChildren<QAbstractItemView*>()) {
            widgets.push_back(list);
        }
        return widgets;
    };
    for (const SettingsTab tab : allSettingsTabs) {
        center.post("switchScreen", tab);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shows(tab); }, 10000));
        ASSERT_EQ(testing::pictureFaults(&window, shownIn(tab), textsOf(tab)), "");
        save(&window, u"settings-"_s +
                          QString::fromUtf8(rawValue(tab).data()).toLower().replace(u' ', u'-') +
                          u"-"_s + suffix);
    }
    center.post("switchScreen", SettingsTab::restrictions);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(SettingsTab::restrictions); }, 10000));
    auto* restrictions = qobject_cast<RestrictionsView*>(settingsView()->body());
    ASSERT_NE(restrictions, nullptr);
    restrictions->detectionLevelView()->setExpanded(true);
    ASSERT_TRUE(testing::waitUntilAtRest());
    ASSERT_EQ(testing::pictureFaults(&window, {restrictions->detectionLevelView()->menu()},
                                     {u"Minimum"_s, u"Recommended"_s, u"Maximum"_s}),
              "");
    save(&window, u"settings-detection-level-menu-"_s + suffix);
    restrictions->detectionLevelView()->setExpanded(false);
}

INSTANTIATE_TEST_SUITE_P(Appearances, SettingsScreenshots, ::testing::Values(false, true));

}  // namespace
}  // namespace tarnwick
