// The main window on a real X desktop (Xvfb with openbox and no compositor, see with-desktop),
// handled with the mouse through xdotool as a user would.

#include "Dispatch/ManualScheduler.h"
#include "Foundation/Process.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "support/MainWindowDependencies.h"

#include <QDir>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>

namespace tarnwick {
namespace {

void xdotool(const std::vector<std::string>& arguments) {
    ProcessRequest request;
    request.arguments = {"xdotool"};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    const auto outcome = Process::run(request);
    ASSERT_TRUE(outcome && outcome->succeeded()) << "xdotool failed";
}

// Counts the presses the application receives and notes where the pointer was last seen, so
// each step goes on only once the application had the one before, however loaded the machine is.
class PressCounter final : public QObject {
public:
    int presses = 0;
    std::optional<QPoint> lastMove;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
            ++presses;
        } else if (event->type() == QEvent::MouseMove) {
            lastMove = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        }
        return false;
    }
};

void pointerTo(QPoint point) {
    xdotool({"mousemove", std::to_string(point.x()), std::to_string(point.y())});
}

TEST(MainWindowOnADesktop, EachRoundedCornerResizesTheWindowBothWays) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb") ||
        std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X desktop";
    }
    NotificationCenter center;
    ManualScheduler scheduler;
    MainWindow::Dependencies dependencies = testing::mainWindowDependencies(center, scheduler);
    // Each run starts from the same frame.
    dependencies.frameStore = {[] { return std::optional<std::string>(); },
                               [](const std::string&) {}};
    MainWindow window(0, dependencies);
    window.move(260, 160);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The window manager has placed the window once it gives it the focus.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
    // No compositor: the corners are cut by the mask, so a press at the corner's bounding point
    // would reach the desktop.
    ASSERT_FALSE(window.mask().isEmpty());

    PressCounter counter;
    qApp->installEventFilter(&counter);
    const int radius = static_cast<int>(window.mainView()->windowCornerRadius());
    const int onArc = radius - static_cast<int>((radius - 2) / std::sqrt(2.0));
    struct Corner {
        const char* name;
        bool left, top;
    };
    for (const Corner& corner :
         {Corner{"top left", true, true}, Corner{"top right", false, true},
          Corner{"bottom left", true, false}, Corner{"bottom right", false, false}}) {
        SCOPED_TRACE(corner.name);
        const QRect before = window.geometry();
        const QPoint local(corner.left ? onArc : window.width() - 1 - onArc,
                           corner.top ? onArc : window.height() - 1 - onArc);
        const QPoint press = window.mapToGlobal(local);
        const QPoint outward(corner.left ? -40 : 40, corner.top ? -30 : 30);
        pointerTo(press);
        // Seen only once the window manager has let go of the last drag.
        ASSERT_TRUE(QTest::qWaitFor([&] { return counter.lastMove == press; }, 10000));
        const int pressesBefore = counter.presses;
        xdotool({"mousedown", "1"});
        // The press reaches the window, which hands the drag to the window manager.
        ASSERT_TRUE(QTest::qWaitFor([&] { return counter.presses > pressesBefore; }, 5000));
        // The window manager follows the pointer only once it has taken the drag over, which
        // may come after the first move: that move is made again, a pixel aside and back, until
        // the window grows. The steps after it need no wait: the last one sets the size.
        const QSize sizeBefore = window.size();
        const auto following = [&] { return window.size() != sizeBefore; };
        for (int nudge = 0; nudge < 40 && !following(); ++nudge) {
            pointerTo(press + outward / 4 + QPoint(nudge % 2, 0));
            (void)QTest::qWaitFor(following, 250);
        }
        ASSERT_TRUE(following()) << "the window manager did not take the drag over";
        for (int step = 2; step <= 4; ++step) {
            pointerTo(press + outward * step / 4);
        }
        xdotool({"mouseup", "1"});
        // Grown by the drag both ways, the opposite corner where it was.
        const QPoint fixedBefore(corner.left ? before.right() : before.left(),
                                 corner.top ? before.bottom() : before.top());
        const auto resized = [&] {
            const QRect after = window.geometry();
            const QPoint fixedAfter(corner.left ? after.right() : after.left(),
                                    corner.top ? after.bottom() : after.top());
            return std::abs(after.width() - before.width() - 40) <= 4 &&
                   std::abs(after.height() - before.height() - 30) <= 4 &&
                   (fixedAfter - fixedBefore).manhattanLength() <= 4;
        };
        EXPECT_TRUE(QTest::qWaitFor(resized, 5000))
            << "from " << before.x() << "," << before.y() << " " << before.width() << "x"
            << before.height() << " to " << window.x() << "," << window.y() << " " << window.width()
            << "x" << window.height();
    }
    qApp->removeEventFilter(&counter);
    pointerTo({5, 5});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.underMouse(); }, 10000));
    // The whole screen, with the window manager's view of the window, for review.
    const QString folder = QStringLiteral(TARNWICK_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/main-window-after-corner-resizes.png");
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(path)) << path.toStdString();
}

}  // namespace
}  // namespace tarnwick
