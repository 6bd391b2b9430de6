#include "Shell/AboutWindowCopy.h"
#include "Shell/Views/About/AboutWindowController.h"
#include "Shell/Views/Main/AppIconView.h"
#include "support/TemporaryDirectory.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;

using testing::TemporaryDirectory;

Bundle makeBundle(const TemporaryDirectory& directory, bool beta) {
    const auto contents = directory.path() / "Tarnwick.app" / "Contents";
    std::filesystem::create_directories(contents);
    std::ofstream(contents / "Info.plist") << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>CFBundleShortVersionString</key><string>2.3.1</string>
<key>IsBeta</key><string>)" << (beta ? "YES" : "NO")
                                           << R"(</string>
</dict></plist>)";
    return Bundle(directory.path() / "Tarnwick.app");
}

TEST(AboutWindowTest, CopiesTheVersionWithALeadingV) {
    TemporaryDirectory directory;
    const Bundle bundle = makeBundle(directory, true);
    AboutView view(bundle);
    EXPECT_EQ(view.findChild<QLabel*>(u"versionLabel"_s)->text(), u"Version: 2.3.1-beta"_s);
    view.copyVersion();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"v2.3.1-beta"_s);
    EXPECT_TRUE(view.didCopyVersion());
}

TEST(AboutWindowTest, NoVersionShowsXAndCopiesNothing) {
    TemporaryDirectory directory;
    const Bundle bundle(directory.path() / "Missing.app");
    QGuiApplication::clipboard()->setText(u"before"_s);
    AboutView view(bundle);
    EXPECT_EQ(view.findChild<QLabel*>(u"versionLabel"_s)->text(), u"Version: X"_s);
    view.copyVersion();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"before"_s);
    EXPECT_FALSE(view.didCopyVersion());
}

TEST(AboutWindowTest, EveryRequestOpensANewWindowCentredOverTheMainOneWithTheCredits) {
    QWidget main;
    main.setGeometry(300, 200, 1024, 640);
    AboutWindowController first(Bundle::main(), &main);
    AboutWindowController second(Bundle::main(), &main);
    ASSERT_NE(first.window(), nullptr);
    EXPECT_NE(first.window(), second.window());
    // Above its main window only, never above every other application.
    EXPECT_EQ(first.window()->parentWidget(), &main);
    EXPECT_TRUE(first.window()->isWindow());
    EXPECT_FALSE(first.window()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(first.window()->size(), QSize(620, 420));
    EXPECT_EQ(first.window()->frameGeometry().center(), main.frameGeometry().center());

    QStringList shown;
    for (QLabel* label :
         first.window()->findChild<QWidget*>(u"credits"_s)->findChildren<QLabel*>()) {
        shown << label->text();
    }
    EXPECT_EQ(AboutWindowCopy::sections().size(), 8u);
    EXPECT_EQ(shown.first(), u"Idea"_s);
    EXPECT_EQ(shown.last(), QString::fromUtf8("🇺🇦 Made in Ukraine"));
    EXPECT_TRUE(shown.contains(u"Quendle & Wumble"_s));
    delete second.window();

    // Escape and Ctrl+W close it, as a dialog of this desktop.
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        AboutWindowController about(Bundle::main(), &main);
        QPointer<QWidget> window = about.window();
        about.showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, keys.key(), keys.keyboardModifiers());
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }))
            << QKeySequence(keys).toString().toStdString();
    }
    delete first.window();
}

TEST(AppIconViewTest, PaddingFollowsFullScreenAndBetaShowsACaption) {
    TemporaryDirectory directory;
    const Bundle beta = makeBundle(directory, true);
    AppIconView view(beta);
    EXPECT_TRUE(view.showsBetaCaption());
    EXPECT_EQ(view.iconTopPadding(), 16);
    view.setFullscreen(true);
    EXPECT_EQ(view.iconTopPadding(), 40);

    TemporaryDirectory other;
    const Bundle release = makeBundle(other, false);
    AppIconView plain(release);
    EXPECT_FALSE(plain.showsBetaCaption());
}

// The window moves when its background is pressed; a press on the icon is the icon's.
TEST(AppIconViewTest, APressOnTheIconIsNotTheWindowsToMove) {
    class Window : public QWidget {
    public:
        int presses = 0;

    protected:
        void mousePressEvent(QMouseEvent*) override { ++presses; }
    } window;
    auto* view = new AppIconView(Bundle::main(), &window);
    view->resize(80, 120);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto* icon = view->findChild<QLabel*>();
    ASSERT_NE(icon, nullptr);
    QTest::mousePress(view, Qt::LeftButton, {}, icon->geometry().center());
    QTest::mouseRelease(view, Qt::LeftButton, {}, icon->geometry().center());
    EXPECT_EQ(window.presses, 0);
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) {
            delete child;  // the About window the click opened
        }
    }
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(2, view->height() - 2));
    EXPECT_EQ(window.presses, 1) << "beside the icon, the window still moves";
}

TEST(AppIconViewTest, AClickOnTheIconOpensAboutOverTheMainWindow) {
    QWidget main;
    main.setGeometry(300, 200, 1024, 640);
    auto* view = new AppIconView(Bundle::main(), &main);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    const auto* icon = view->findChild<QLabel*>();
    ASSERT_NE(icon, nullptr);
    QTest::mouseClick(view, Qt::LeftButton, {}, icon->geometry().center());

    QWidget* about = nullptr;
    for (QWidget* child : main.findChildren<QWidget*>()) {
        if (child->isWindow() && child->isVisible()) {
            about = child;
        }
    }
    ASSERT_NE(about, nullptr) << "no About window over the main one";
    // Within the frame's few pixels.
    EXPECT_LE((about->frameGeometry().center() - main.frameGeometry().center()).manhattanLength(),
              4);
    delete about;
}

}  // namespace
}  // namespace tarnwick
