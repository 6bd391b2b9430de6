#include "Dispatch/ManualScheduler.h"
#include "Foundation/Bundle.h"
#include "Screens/ConnectionsMonitor/Views/SystemExtensionInstallation.h"
#include "Shell/Views/About/AboutWindowController.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Promotion/QRCodeView.h"
#include "Shell/Views/Sheets/SheetWindowController.h"
#include "support/MainWindowDependencies.h"
#include "support/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;

void applyAppearance(bool dark) {
    testing::applyScreenshotAppearance(dark);
}

void save(QWidget* widget, const QString& name) {
    testing::saveScreenshot(widget, QStringLiteral(TARNWICK_SCREENSHOT_DIR), name);
}

// Runs what the window scheduled for the next second, then waits until nothing moves.
void settle(ManualScheduler& scheduler) {
    for (int i = 0; i < 10; ++i) {
        scheduler.advance(std::chrono::milliseconds(100));
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(testing::waitUntilAtRest());
}

// The explanation before the filter is installed, as the sheet it is shown in.
class ExplanationSheet final : public SheetContent {
public:
    ExplanationSheet() : m_view(std::make_unique<SystemExtensionInstallation>(Bundle::main())) {
        m_view->setCancellable(true);
    }
    SheetContentKind kind() const override { return SheetContentKind::systemExtensionInstallation; }
    QWidget* view() override { return m_view.get(); }

private:
    std::unique_ptr<SystemExtensionInstallation> m_view;
};

class ShellScreenshots : public ::testing::TestWithParam<bool> {};

TEST_P(ShellScreenshots, SavesTheMainWindowTheAboutWindowAndThePromotion) {
    const bool dark = GetParam();
    const QString suffix = dark ? u"dark"_s : u"light"_s;
    applyAppearance(dark);

    NotificationCenter center;
    ManualScheduler scheduler;
    MainWindow::Dependencies dependencies = testing::mainWindowDependencies(center, scheduler);
    MainWindow window(0, dependencies);
    window.resize(1100, 680);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_NO_FATAL_FAILURE(settle(scheduler));
    const MainWindowLayout* layout = window.mainView()->layoutView();
    ASSERT_EQ(testing::pictureFaults(
                  &window, {layout->screen(AppActiveScreenType::appMonitor)},
                  {u"the App Monitor screen"_s, u"Connections Monitor"_s, u"Settings"_s}),
              "");
    save(&window, u"main-window-"_s + suffix);

    center.post("switchScreen", AppActiveScreenType::connectionsMonitor);
    ASSERT_NO_FATAL_FAILURE(settle(scheduler));
    EXPECT_FALSE(layout->screen(AppActiveScreenType::appMonitor)->isVisible());
    ASSERT_EQ(
        testing::pictureFaults(&window, {layout->screen(AppActiveScreenType::connectionsMonitor)},
                               {u"the Connections Monitor screen"_s}),
        "");
    save(&window, u"main-window-connections-"_s + suffix);

    window.presentIOSPromotion();
    ASSERT_NO_FATAL_FAILURE(settle(scheduler));
    ASSERT_TRUE(window.sheetWindowController()->isPresenting());
    ASSERT_EQ(testing::pictureFaults(
                  &window,
                  {window.sheetWindowController()->sheetWindow(), window.findChild<QRCodeView*>()},
                  {u"Take your phone on a safe"_s, u"Scan the QR code"_s}),
              "");
    save(&window, u"promotion-"_s + suffix);

    window.sheetWindowController()->dismiss();
    ASSERT_NO_FATAL_FAILURE(settle(scheduler));
    window.sheetWindowController()->present(std::make_shared<ExplanationSheet>(), false);
    ASSERT_NO_FATAL_FAILURE(settle(scheduler));
    ASSERT_EQ(
        testing::pictureFaults(&window, {window.sheetWindowController()->sheetWindow()},
                               {u"Install the network filter"_s, u"1: Click \"Continue\" below."_s,
                                u"Continue"_s, u"Cancel"_s}),
        "");
    ASSERT_EQ(window.sheetWindowController()->currentContent()->kind(),
              SheetContentKind::systemExtensionInstallation);
    save(&window, u"extension-explanation-"_s + suffix);
    window.sheetWindowController()->dismiss();
    ASSERT_NO_FATAL_FAILURE(settle(scheduler));

    AboutWindowController about;
    about.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about.window()));
    ASSERT_EQ(testing::pictureFaults(about.window(), {about.window()->findChild<QToolButton*>()},
                                     {u"Tarnwick"_s, u"Version: "_s, u"All rights reserved."_s}),
              "");
    save(about.window(), u"about-"_s + suffix);
    delete about.window();
}

INSTANTIATE_TEST_SUITE_P(Appearances, ShellScreenshots, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Dark" : "Light"; });

}  // namespace
}  // namespace tarnwick
