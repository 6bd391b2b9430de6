#include "FeedbackForm/Views/KVBAttachmentsViewController.h"
#include "FeedbackForm/Views/KVBBundleHelper.h"
#include "FeedbackForm/Views/KVBClickableView.h"
#include "FeedbackForm/Views/KVBInterfaceSettings.h"
#include "FeedbackForm/Views/KVBLeftFlowLayout.h"
#include "FeedbackForm/Views/KVBSystemProfileViewController.h"
#include "FeedbackForm/Views/KVBTextControlValidationContainer.h"
#include "FeedbackForm/Views/KVBTextField.h"
#include "FeedbackForm/Views/KVBTextFieldWrapper.h"
#include "FeedbackForm/Views/KVBTextView.h"
#include "FeedbackForm/Views/KVBTransparentSpinner.h"
#include "FeedbackFormTestSupport.h"
#include "support/TemporaryDirectory.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabBar>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <fstream>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using testing::ChosenFiles;
using testing::TemporaryDirectory;

void makeFile(const std::filesystem::path& file, std::uintmax_t size) {
    std::ofstream(file).close();
    std::filesystem::resize_file(file, size);
}

TEST(KVBAttachmentsViewController, FilesAreCheckedAgainstTheLimitsAsTheyCome) {
    TemporaryDirectory folder;
    makeFile(folder / "exact.bin", 20 * 1024 * 1024);
    makeFile(folder / "below.bin", 20 * 1024 * 1024 - 1);
    std::filesystem::create_directory(folder / "folder");
    std::filesystem::create_symlink(folder / "below.bin", folder / "link.bin");

    auto files = std::make_shared<ChosenFiles>();
    KVBAttachmentsViewController strip(files);
    strip.setMaxAttachmentsCount(10);
    strip.setMaxAttachmentFileSize(20);
    files->files = {folder / "exact.bin", folder / "below.bin", folder / "below.bin",
                    folder / "folder",    folder / "link.bin",  folder / "missing.bin"};
    strip.attachButtonItemDidReceiveClick(nullptr);
    EXPECT_EQ(strip.attachments(), (std::vector<std::filesystem::path>{folder / "below.bin"}));
    EXPECT_EQ(strip.attachmentItems().size(), 1u);
    EXPECT_NE(strip.attachButtonItem(), nullptr);
}

TEST(KVBAttachmentsViewController, TheCountLimitHidesTheAttachItemUntilOneIsRemoved) {
    TemporaryDirectory folder;
    std::vector<std::filesystem::path> twelve;
    for (int i = 0; i < 12; ++i) {
        twelve.push_back(folder / ("file" + std::to_string(i) + ".txt"));
        makeFile(twelve.back(), 10);
    }
    auto files = std::make_shared<ChosenFiles>();
    files->files = twelve;
    KVBAttachmentsViewController strip(files);
    strip.setMaxAttachmentsCount(10);
    strip.setMaxAttachmentFileSize(20);
    strip.attachButtonItemDidReceiveClick(nullptr);
    EXPECT_EQ(strip.attachments(),
              std::vector<std::filesystem::path>(twelve.begin(), twelve.begin() + 10));
    EXPECT_EQ(strip.attachButtonItem(), nullptr);

    strip.attachmentItemDidGetRemoved(strip.attachmentItems()[3]);
    EXPECT_EQ(strip.attachments().size(), 9u);
    EXPECT_EQ(std::find(strip.attachments().begin(), strip.attachments().end(), twelve[3]),
              strip.attachments().end());
    EXPECT_NE(strip.attachButtonItem(), nullptr);

    // Without limits, everything regular goes in and the attach item stays.
    KVBAttachmentsViewController unlimited(files);
    unlimited.attachButtonItemDidReceiveClick(nullptr);
    EXPECT_EQ(unlimited.attachments().size(), 12u);
    EXPECT_NE(unlimited.attachButtonItem(), nullptr);
}

TEST(KVBAttachmentsViewController, LongNamesAreCutInTheMiddleAndNeverWiderThanTheStrip) {
    TemporaryDirectory folder;
    const auto file = folder / (std::string(200, 'a') + "-end.log");
    makeFile(file, 1);
    auto files = std::make_shared<ChosenFiles>();
    files->files = {file};
    KVBAttachmentsViewController strip(files);
    strip.resize(300, 40);
    strip.attachButtonItemDidReceiveClick(nullptr);
    strip.resize(300, 40);
    ASSERT_EQ(strip.attachmentItems().size(), 1u);
    const auto* item = strip.attachmentItems()[0];
    EXPECT_LE(item->width(), 300);
    const QString shown = item->fileNameLabel()->text();
    EXPECT_TRUE(shown.startsWith(u"aaa"_s));
    EXPECT_TRUE(shown.endsWith(u"-end.log"_s));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
}

TEST(KVBLeftFlowLayout, RowsStartAtTheLeftAndWrapFourPointsLower) {
    QWidget strip;
    auto* layout = new KVBLeftFlowLayout(&strip);
    for (int width : {100, 80, 150, 40}) {
        auto* item = new QWidget(&strip);
        item->setFixedSize(width, 20);
        layout->addWidget(item);
    }
    EXPECT_EQ(layout->frames(200), (QList<QRect>{QRect(0, 0, 100, 20), QRect(106, 0, 80, 20),
                                                 QRect(0, 24, 150, 20), QRect(156, 24, 40, 20)}));
    EXPECT_EQ(layout->heightForWidth(200), 44);
}

TEST(KVBClickableView, DraggingOutCancelsAndAReleaseInsideClicks) {
    QWidget window;
    auto* view = new KVBClickableView(&window);
    view->setGeometry(10, 10, 20, 20);
    window.show();
    int clicks = 0;
    QObject::connect(view, &KVBClickableView::clicked, [&] { ++clicks; });

    const auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, view->mapToGlobal(local), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view->alpha(), 0.5);
    send(QEvent::MouseMove, {50, 50}, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view->alpha(), 1.0);
    send(QEvent::MouseMove, {6, 6}, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view->alpha(), 0.5);
    send(QEvent::MouseButtonRelease, {6, 6}, Qt::NoButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_DOUBLE_EQ(view->alpha(), 1.0);

    send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    send(QEvent::MouseMove, {50, 50}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {50, 50}, Qt::NoButton);
    EXPECT_EQ(clicks, 1);

    view->setEnabled(false);
    send(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view->alpha(), 1.0);
    send(QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
    EXPECT_EQ(clicks, 1);
}

TEST(KVBTextView, TabMovesTheFocusAndOtherTabsTypeNothing) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit;
    auto* text = new KVBTextView;
    auto* after = new QLineEdit;
    layout->addWidget(before);
    layout->addWidget(text);
    layout->addWidget(after);
    window.show();
    QApplication::setActiveWindow(&window);

    text->setFocus();
    QTest::keyClick(text, Qt::Key_Tab, Qt::AltModifier);
    EXPECT_TRUE(text->hasFocus());
    EXPECT_TRUE(text->toPlainText().isEmpty());
    QTest::keyClick(text, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus());
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(before->hasFocus());
    EXPECT_TRUE(text->toPlainText().isEmpty());
}

TEST(KVBTextControlValidationContainer, ARuleWithoutAMessageTurnsOnlyTheBorder) {
    auto* wrapper = new KVBTextFieldWrapper(new KVBTextField);
    KVBTextControlValidationContainer container(wrapper);
    EXPECT_TRUE(container.isValid());  // valid until first checked
    container.setValidationBlock([](const QString&, QString*) { return false; });
    container.validate();
    EXPECT_FALSE(container.isValid());
    EXPECT_EQ(wrapper->borderColor(), kvbErrorColor());
    EXPECT_TRUE(container.errorLabel()->isHidden());
}

TEST(KVBTextFieldWrapper, TheBordersInnerEdgeIsOneLessRoundOrOneForSquareCorners) {
    EXPECT_EQ(KVBTextFieldWrapper::innerRadius(0), 1);
    EXPECT_EQ(KVBTextFieldWrapper::innerRadius(2), 1);
    EXPECT_EQ(KVBTextFieldWrapper::innerRadius(6), 5);
}

TEST(KVBBundleHelper, CompiledInResourcesAndFallbacksForMissingOnes) {
    EXPECT_FALSE(KVBBundleHelper::imageNamed(u"infoIcon"_s, {16, 16}).isNull());
    EXPECT_TRUE(KVBBundleHelper::imageNamed(u"noSuchImage"_s, {16, 16}).isNull());
    EXPECT_EQ(KVBBundleHelper::colorNamed(u"noSuchColor"_s, Qt::green), QColor(Qt::green));
    EXPECT_TRUE(kvbMaskedImageWithColor(QImage(), Qt::red).isNull());

    const QColor error = kvbColorWithSRGBHex(0xE0383E);
    EXPECT_EQ(error.red(), 224);
    EXPECT_EQ(error.green(), 56);
    EXPECT_EQ(error.blue(), 62);
    EXPECT_EQ(error.alpha(), 255);

    const QImage masked =
        kvbMaskedImageWithColor(KVBBundleHelper::imageNamed(u"removeIcon"_s, {20, 20}), Qt::red);
    ASSERT_FALSE(masked.isNull());
    EXPECT_EQ(masked.pixelColor(10, 10), QColor(Qt::red));  // the cross's middle
    EXPECT_EQ(masked.pixelColor(10, 1).alpha(), 0);         // outside the cross
}

TEST(KVBSystemProfileViewController, TabsShowTheirTextAndTheSpinnerTurnsWhileOneIsEmpty) {
    auto provider = std::make_shared<testing::FixedProfileProvider>();
    QWidget anchor;
    anchor.resize(40, 40);
    anchor.show();
    KVBSystemProfileViewController* profile = new KVBSystemProfileViewController(provider);
    profile->showPopoverRelativeToRect(anchor.rect(), &anchor);
    EXPECT_TRUE(profile->isPopoverShown());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return profile->textView()->toPlainText() == u"Machine Model = Test\n"_s; }, 10'000));
    EXPECT_FALSE(profile->spinner()->isVisible());

    profile->tabs()->setCurrentIndex(1);  // the console text is empty
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return profile->textView()->toPlainText().isEmpty(); }, 10'000));
    EXPECT_TRUE(profile->spinner()->isVisible());
    EXPECT_TRUE(profile->spinner()->isAnimating());

    // Asking again while it is shown closes it.
    profile->showPopoverRelativeToRect(anchor.rect(), &anchor);
    EXPECT_FALSE(profile->isPopoverShown());
    delete profile;
}

// The form holds the profile hidden until its button is pressed; the button near the screen's
// bottom-right corner, as on a small screen.
TEST(KVBSystemProfilePopover, AHiddenProfileOpensWhollyOnTheScreen) {
    auto provider = std::make_shared<testing::FixedProfileProvider>();
    QWidget anchor;
    anchor.resize(20, 20);
    const QRect available = anchor.screen()->availableGeometry();
    anchor.move(available.bottomRight() - QPoint(30, 30));
    anchor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&anchor));
    auto profile = std::make_unique<KVBSystemProfileViewController>(provider);
    profile->hide();
    profile->showPopoverRelativeToRect(anchor.rect(), &anchor);
    ASSERT_TRUE(profile->isPopoverShown());
    const QWidget* popover = profile->window();
    ASSERT_NE(popover, profile.get());
    EXPECT_GE(popover->width(), profile->width());
    // The offscreen platform pushes every window, a pop-up too, in by a frame of a few pixels.
    const QRect shown = popover->geometry();
    EXPECT_TRUE(available.adjusted(-4, -4, 4, 4).contains(shown))
        << "pop-up " << shown.x() << "," << shown.y() << " " << shown.width() << "x"
        << shown.height();
}

TEST(KVBInterfaceSettings, DefaultsAreFreshInstances) {
    auto first = KVBInterfaceSettings::defaultSettings();
    auto second = KVBInterfaceSettings::defaultSettings();
    first->setTitle(u"Changed"_s);
    EXPECT_EQ(second->title(), u"Provide Feedback"_s);
    EXPECT_EQ(KVBInterfaceSettings::observableProperties().size(), 10);
    EXPECT_EQ(second->iconSize(), QSize(64, 64));
}

TEST(KVBSystemProfilePopover, StaysInsideTheScreenBesideItsButton) {
    const QRect screen(0, 0, 1366, 740);
    const QSize size(500, 300);
    struct Row {
        const char* name;
        QRect button;
        QPoint expected;
    };
    for (const Row& row : {
             Row{"above, where there is room", {400, 600, 100, 20}, {200, 296}},
             Row{"below, near the top", {400, 40, 100, 20}, {200, 64}},
             Row{"pushed left from the right edge", {1300, 600, 60, 20}, {866, 296}},
             Row{"pushed right from the left edge", {0, 600, 60, 20}, {0, 296}},
             Row{"taller than the room either side", {400, 300, 100, 20}, {200, 324}},
         }) {
        SCOPED_TRACE(row.name);
        const QPoint at = KVBSystemProfileViewController::popoverPosition(row.button, size, screen);
        EXPECT_EQ(at, row.expected);
        EXPECT_TRUE(screen.contains(QRect(at, size)));
    }
}

}  // namespace
}  // namespace tarnwick
