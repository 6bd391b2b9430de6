#include "Dispatch/ManualScheduler.h"
#include "Foundation/Bundle.h"
#include "Screens/ConnectionsMonitor/Views/SystemExtensionInstallation.h"
#include "Shell/Views/About/AboutWindowController.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Sheets/SheetWindowController.h"
#include "support/MainWindowDependencies.h"
#include "support/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QTest>

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

void settle(ManualScheduler& scheduler) {
    for (int i = 0; i < 10; ++i) {
        scheduler.advance(std::chrono::milliseconds(100));
        QTest::qWait(60);
    }
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
    settle(scheduler);
    save(&window, u"main-window-"_s + suffix);

    center.post("switchScreen", AppActiveScreenType::connectionsMonitor);
    settle(scheduler);
    QTest::qWait(500);
    save(&window, u"main-window-connections-"_s + suffix);

    window.presentIOSPromotion();
    settle(scheduler);
    QTest::qWait(600);
    ASSERT_TRUE(window.sheetWindowController()->isPresenting());
    save(&window, u"promotion-"_s + suffix);

    window.sheetWindowController()->dismiss();
    settle(scheduler);
    QTest::qWait(400);
    window.sheetWindowController()->present(std::make_shared<ExplanationSheet>(), false);
    settle(scheduler);
    QTest::qWait(600);
    ASSERT_EQ(window.sheetWindowController()->currentContent()->kind(),
              SheetContentKind::systemExtensionInstallation);
    save(&window, u"extension-explanation-"_s + suffix);
    window.sheetWindowController()->dismiss();
    settle(scheduler);

    AboutWindowController about;
    about.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about.window()));
    save(about.window(), u"about-"_s + suffix);
    delete about.window();
}

INSTANTIATE_TEST_SUITE_P(Appearances, ShellScreenshots, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Dark" : "Light"; });

}  // namespace
}  // namespace tarnwick
