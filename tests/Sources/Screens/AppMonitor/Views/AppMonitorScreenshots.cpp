#include "ScannedMachine.h"
#include "Screens/AppMonitor/Views/AppMonitorCellView.h"
#include "Screens/AppMonitor/Views/AppMonitorHeader.h"
#include "Screens/AppMonitor/Views/AppMonitorResultView.h"
#include "Screens/AppMonitor/Views/AppMonitorView.h"
#include "Screens/AppMonitor/Views/NoNetworkLabel.h"
#include "Screens/AppMonitor/Views/UninstallPopUpView.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "support/Screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QTest>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using namespace tarnwick::testing;

void save(QWidget* widget, const QString& name) {
    saveScreenshot(widget, QStringLiteral(TARNWICK_SCREENSHOT_DIR), name);
}

class AppMonitorScreenshots : public ::testing::TestWithParam<bool> {};

// The result list of a real scan, with the no-network warning, and the uninstall pop-up over it
// for a bundle and for a package, light and dark.
TEST_P(AppMonitorScreenshots, SavesTheResultListAndTheUninstallPopUp) {
    const bool dark = GetParam();
    const QString suffix = dark ? u"-dark"_s : u"-light"_s;
    applyScreenshotAppearance(dark);
    ScannedMachine machine;
    auto model = machine.makeModel();
    MainWindow::Dependencies dependencies;
    dependencies.notificationCenter = &machine.center;
    dependencies.promotionStore = {[] { return 1; }, [] { return true; }, [] {}};
    dependencies.makeScreenModels = [&](MainWindow&) { return ScreenModels{model, {}, {}, {}}; };
    dependencies.makeScreen = [&](AppActiveScreenType type, MainWindow&,
                                  QWidget* parent) -> QWidget* {
        if (type != AppActiveScreenType::appMonitor) {
            return nullptr;
        }
        return new AppMonitorView(model, machine.center, {}, parent);
    };
    MainWindow window(0, dependencies);
    window.resize(1100, 680);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* screen = qobject_cast<AppMonitorView*>(
        window.mainView()->layoutView()->screen(AppActiveScreenType::appMonitor));
    ASSERT_NE(screen, nullptr);
    ASSERT_TRUE(waitUntilAtRest());
    ASSERT_EQ(
        pictureFaults(&window, {screen->header()},
                      {u"App Monitor"_s, u"Scan"_s, u"Your examined apps will appear here..."_s}),
        "");
    save(&window, u"appmonitor-standby"_s + suffix);
    model->setScanState(ScanState::active);
    model->startScan();
    machine.center.post(std::string(AppStoreInfoProvider::noNetworkNotification));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model->scanState().get() == ScanState::done; }, 60000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto* shown = qobject_cast<AppMonitorResultView*>(screen->body());
            return shown != nullptr && shown->isVisible() && !shown->cells().empty() &&
                   animationsAtRest();
        },
        10000));
    auto* results = qobject_cast<AppMonitorResultView*>(screen->body());
    ASSERT_EQ(
        pictureFaults(&window, {results->noNetworkLabel(), results->scrollArea()},
                      {u"Potentially unwanted apps on your computer"_s, u"Alpha"_s, u"Delta"_s,
                       u"Epsilon"_s, u"Contains \"ru\" in bundle id"_s, u"Show in File Manager"_s}),
        "");
    save(&window, u"appmonitor-results"_s + suffix);

    const auto popUpShown = [&] {
        return QTest::qWaitFor(
            [&] {
                return results->isUninstallPopUpPresented() && results->uninstallPopUp() &&
                       results->uninstallPopUp()->isVisible() && animationsAtRest();
            },
            10000);
    };
    results->cells().front()->deleteButton()->click();
    ASSERT_TRUE(popUpShown());
    ASSERT_EQ(
        pictureFaults(&window,
                      {results->uninstallPopUp()->card(), results->uninstallPopUp()->cancelButton(),
                       results->uninstallPopUp()->uninstallButton()},
                      {u"Uninstall Alpha?"_s}),
        "");
    save(&window, u"appmonitor-uninstall"_s + suffix);

    // A Debian package's application: the question names the package, and a refused password is
    // told under the title.
    results->uninstallPopUp()->cancelButton()->click();
    const auto first = model->puApplications().get().front();
    first->setOrigin({ApplicationOrigin::Kind::debianPackage, "alpha-tools", false, {}});
    results->cells().front()->deleteButton()->click();
    ASSERT_TRUE(popUpShown());
    ASSERT_EQ(pictureFaults(&window, {results->uninstallPopUp()->card()},
                            {u"Remove the package \u201calpha-tools\u201d, which installed "
                             u"\u201cAlpha\u201d?"_s}),
              "");
    save(&window, u"appmonitor-uninstall-package"_s + suffix);
    machine.removalExitStatus = 127;
    results->uninstallPopUp()->uninstallButton()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return results->removalFailure()->isVisible() && animationsAtRest(); }, 30000));
    EXPECT_FALSE(results->isUninstallPopUpPresented());
    ASSERT_EQ(pictureFaults(&window, {results->removalFailure()},
                            {u"Could not remove \u201cAlpha\u201d: no administrator's password "
                             u"was given."_s}),
              "");
    save(&window, u"appmonitor-removal-refused"_s + suffix);
}

INSTANTIATE_TEST_SUITE_P(Appearances, AppMonitorScreenshots, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "dark" : "light"; });

}  // namespace
}  // namespace tarnwick
