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
#include <memory>
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

// Where the window manager has the window now, which the application learns only after a drag.
QRect frameOnScreen(const QWidget& window) {
    ProcessRequest request;
    request.arguments = {"xdotool", "getwindowgeometry", "--shell", std::to_string(window.winId())};
    const auto outcome = Process::run(request);
    if (!outcome || !outcome->succeeded()) {
        return {};
    }
    QRect frame;
    for (const QString& line : QString::fromStdString(outcome->standardOutput).split(u'\n')) {
        const int value = line.section(u'=', 1).toInt();
        if (line.startsWith(QStringLiteral("X="))) {
            frame.moveLeft(value);
        } else if (line.startsWith(QStringLiteral("Y="))) {
            frame.moveTop(value);
        } else if (line.startsWith(QStringLiteral("WIDTH="))) {
            frame.setWidth(value);
        } else if (line.startsWith(QStringLiteral("HEIGHT="))) {
            frame.setHeight(value);
        }
    }
    return frame;
}

void pointerTo(QPoint point) {
    xdotool({"mousemove", std::to_string(point.x()), std::to_string(point.y())});
}

// The window as a user meets it: placed by the window manager and given the focus.
class MainWindowOnADesktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb") ||
            std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X desktop";
        }
        MainWindow::Dependencies dependencies = testing::mainWindowDependencies(center, scheduler);
        // Each run starts from the same frame.
        dependencies.frameStore = {[] { return std::optional<std::string>(); },
                                   [](const std::string&) {}};
        window = std::make_unique<MainWindow>(0, dependencies);
        window->move(260, 160);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // The window manager has placed the window once it gives it the focus.
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 10000));
        qApp->installEventFilter(&counter);
    }
    void TearDown() override { qApp->removeEventFilter(&counter); }

    // Moves the pointer and waits until the application has seen it there: it cannot while the
    // window manager holds the pointer for a move or a resize.
    ::testing::AssertionResult pointerSeenAt(QPoint point) {
        pointerTo(point);
        if (QTest::qWaitFor([&] { return counter.lastMove == point; }, 10000)) {
            return ::testing::AssertionSuccess();
        }
        auto failure = ::testing::AssertionFailure()
                       << "the pointer was not seen at " << point.x() << "," << point.y();
        if (counter.lastMove) {
            failure << " but at " << counter.lastMove->x() << "," << counter.lastMove->y();
        }
        return failure;
    }

    NotificationCenter center;
    ManualScheduler scheduler;
    std::unique_ptr<MainWindow> window;
    PressCounter counter;
};

// The window manager takes a move or a resize over only once the pointer moves with the button
// held: handed over at the press, it waited for a release that had already come, and the window
// followed the pointer until the next click.
TEST_F(MainWindowOnADesktop, AClickOnTheBackgroundLeavesTheWindowWhereItIsButADragMovesIt) {
    const QRect before = window->geometry();
    const QPoint background =
        window->mapToGlobal(QPoint(window->width() / 2, window->height() - 40));
    {
        const QPoint press = background;
        ASSERT_TRUE(pointerSeenAt(press));
        const int pressesBefore = counter.presses;
        xdotool({"click", "1"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return counter.presses > pressesBefore; }, 5000));
        // Holding the pointer, the window manager would keep these moves from the application.
        for (int step = 1; step <= 3; ++step) {
            ASSERT_TRUE(pointerSeenAt(press + QPoint(-40, -30) * step));
        }
        EXPECT_EQ(window->geometry(), before);
    }

    // A drag from the same spot of the background moves the window with the pointer.
    ASSERT_TRUE(pointerSeenAt(background));
    const int pressesBefore = counter.presses;
    xdotool({"mousedown", "1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.presses > pressesBefore; }, 5000));
    const QPoint offset(-60, -40);
    // The press becomes a drag once the pointer has gone a few pixels, and the window manager
    // follows the pointer from about there once it has taken the drag over: the pointer steps
    // aside and back until the window follows it. The application hears of the new place only
    // when the drag ends, so the window manager is asked.
    const QPoint dragBegins(-8, -6);
    pointerTo(background + dragBegins);
    const auto following = [&] { return frameOnScreen(*window).topLeft() != before.topLeft(); };
    for (int nudge = 1; nudge < 40 && !following(); ++nudge) {
        pointerTo(background + dragBegins + QPoint((nudge % 2) * 3, 0));
        (void)QTest::qWaitFor(following, 250);
    }
    ASSERT_TRUE(following()) << "the window manager did not take the drag over";
    pointerTo(background + offset);
    xdotool({"mouseup", "1"});
    // Moved with the pointer, short of the few pixels it went before the drag was taken over.
    const QPoint expected = before.topLeft() + offset;
    const int slack = dragBegins.manhattanLength() + 3 + 4;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (window->pos() - expected).manhattanLength() <= slack; }, 5000))
        << "at " << window->x() << "," << window->y();
    EXPECT_EQ(window->size(), before.size());
}

TEST_F(MainWindowOnADesktop, EachRoundedCornerResizesTheWindowBothWays) {
    // No compositor: the corners are cut by the mask, so a press at the corner's bounding point
    // would reach the desktop.
    ASSERT_FALSE(window->mask().isEmpty());

    const int radius = static_cast<int>(window->mainView()->windowCornerRadius());
    const int onArc = radius - static_cast<int>((radius - 2) / std::sqrt(2.0));
    struct Corner {
        const char* name;
        bool left, top;
    };
    for (const Corner& corner :
         {Corner{"top left", true, true}, Corner{"top right", false, true},
          Corner{"bottom left", true, false}, Corner{"bottom right", false, false}}) {
        SCOPED_TRACE(corner.name);
        const QRect before = window->geometry();
        const QPoint local(corner.left ? onArc : window->width() - 1 - onArc,
                           corner.top ? onArc : window->height() - 1 - onArc);
        const QPoint press = window->mapToGlobal(local);
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
        const QSize sizeBefore = window->size();
        const auto following = [&] { return window->size() != sizeBefore; };
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
            const QRect after = window->geometry();
            const QPoint fixedAfter(corner.left ? after.right() : after.left(),
                                    corner.top ? after.bottom() : after.top());
            return std::abs(after.width() - before.width() - 40) <= 4 &&
                   std::abs(after.height() - before.height() - 30) <= 4 &&
                   (fixedAfter - fixedBefore).manhattanLength() <= 4;
        };
        EXPECT_TRUE(QTest::qWaitFor(resized, 5000))
            << "from " << before.x() << "," << before.y() << " " << before.width() << "x"
            << before.height() << " to " << window->x() << "," << window->y() << " "
            << window->width() << "x" << window->height();
    }
    pointerTo({5, 5});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->underMouse(); }, 10000));
    // The whole screen, with the window manager's view of the window, for review.
    const QString folder = QStringLiteral(TARNWICK_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/main-window-after-corner-resizes.png");
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(path)) << path.toStdString();
}

}  // namespace
}  // namespace tarnwick
