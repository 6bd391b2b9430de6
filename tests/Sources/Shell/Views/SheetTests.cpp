#include "Dispatch/ManualScheduler.h"
#include "Foundation/Bundle.h"
#include "Screens/ConnectionsMonitor/Views/SystemExtensionInstallation.h"
#include "Shell/Views/Promotion/IOSPromotionViewController.h"
#include "Shell/Views/Promotion/QRCodeView.h"
#include "Shell/Views/Sheets/DimView.h"
#include "Shell/Views/Sheets/MainWindowSheetPresenter.h"
#include "Shell/Views/Sheets/ScaleFadeEffect.h"
#include "Shell/Views/Sheets/SheetWindowController.h"
#include "WidgetKit/Controls/ClickableIconView.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <zbar.h>

namespace tarnwick {
namespace {

class SheetTest : public ::testing::Test {
protected:
    SheetTest() : m_controller(&m_window, m_scheduler) {
        m_window.resize(1024, 640);
        m_window.show();
    }
    void advance(std::chrono::milliseconds by) {
        m_scheduler.advance(by);
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }
    QWidget m_window;
    ManualScheduler m_scheduler;
    SheetWindowController m_controller;
};

TEST_F(SheetTest, ContentMayCloseItselfOnlyAfterTheEntryAnimation) {
    auto content = std::make_shared<IOSPromotionViewController>();
    int completions = 0;
    m_controller.present(content, false, [&] { ++completions; });
    EXPECT_TRUE(m_controller.isPresenting());
    EXPECT_TRUE(m_controller.sheetWindow()->isVisible());
    EXPECT_EQ(m_controller.sheetWindow()->geometry(), m_window.rect());

    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(content->onDismiss);
    QTest::keyClick(content->view(), Qt::Key_Escape);  // during the entry animation: nothing
    EXPECT_EQ(completions, 0);
    advance(std::chrono::milliseconds(200));
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(content->onDismiss);

    QTest::keyClick(content->view(), Qt::Key_Escape);
    EXPECT_TRUE(m_controller.isPresenting());  // until the exit animation ends
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(m_controller.isPresenting());
    EXPECT_FALSE(m_controller.sheetWindow()->isVisible());
}

TEST_F(SheetTest, ASecondSheetIsRefusedAndTheFirstStays) {
    auto first = std::make_shared<IOSPromotionViewController>();
    auto second = std::make_shared<IOSPromotionViewController>();
    m_controller.present(first, false);
    int refusedCompletion = 0;
    m_controller.present(second, false, [&] { ++refusedCompletion; });
    EXPECT_EQ(refusedCompletion, 1);
    EXPECT_EQ(m_controller.currentContent(), first);
}

TEST_F(SheetTest, DimmedAreaClosesOnlyWhenAskedAndFollowsTheWindowSize) {
    auto content = std::make_shared<IOSPromotionViewController>();
    m_controller.present(content, false);
    advance(std::chrono::milliseconds(500));
    DimView* dim = m_controller.sheetViewController()->dimView();
    QTest::mouseClick(dim, Qt::LeftButton, {}, QPoint(5, 5));
    advance(std::chrono::milliseconds(300));
    EXPECT_TRUE(m_controller.isPresenting());

    m_window.resize(1200, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_controller.sheetWindow()->geometry(), m_window.rect());

    content->closeButton()->onClick();
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(m_controller.isPresenting());

    auto again = std::make_shared<IOSPromotionViewController>();
    m_controller.present(again, true);
    advance(std::chrono::milliseconds(500));
    QTest::mouseClick(dim, Qt::LeftButton, {}, QPoint(5, 5));
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(m_controller.isPresenting());
}

TEST(QRCodeViewTest, RendersACodeThatDecodesToItsContent) {
    QRCodeView view;
    view.resize(130, 130);
    EXPECT_FALSE(view.qrCodeImageData().has_value());
    const std::string link = IOSPromotionViewController::storeLink;
    view.setContent(link);
    ASSERT_TRUE(view.qrCodeImageData().has_value());

    // Render on white with a quiet zone, as the card shows it, and read it back.
    QImage canvas(170, 170, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    view.render(&canvas, QPoint(20, 20));
    const QImage grey = canvas.convertToFormat(QImage::Format_Grayscale8);
    std::vector<unsigned char> pixels;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        pixels.insert(pixels.end(), line, line + grey.width());
    }
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(grey.width(), grey.height(), "Y800", pixels.data(), pixels.size());
    ASSERT_GT(scanner.scan(image), 0);
    EXPECT_EQ(image.symbol_begin()->get_data(), link);

    view.setContent(std::nullopt);
    EXPECT_FALSE(view.qrCodeImageData().has_value());
}

// The panel grows in from 0.8 of its size and shrinks out to it, and every presentation starts
// from there again.
TEST_F(SheetTest, ThePanelGrowsInAndShrinksOutAboutItsCentre) {
    ScaleFadeEffect* effect = m_controller.sheetViewController()->sheetContentEffect();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto content = std::make_shared<IOSPromotionViewController>();
        m_controller.present(content, false);
        EXPECT_DOUBLE_EQ(effect->scale(), SheetViewController::kHiddenScale);
        EXPECT_DOUBLE_EQ(effect->opacity(), 0.0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return effect->scale() == 1.0; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return effect->opacity() == 1.0; }, 5000));
        advance(std::chrono::milliseconds(500));
        ASSERT_TRUE(content->onDismiss);

        content->onDismiss();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return effect->scale() == SheetViewController::kHiddenScale; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return effect->opacity() == 0.0; }, 5000));
        advance(std::chrono::milliseconds(300));
        EXPECT_FALSE(m_controller.isPresenting());
    }
}

// The explanation before the filter is installed: shown on the window while there is one; its
// continue button ends the sheet, then goes on once per press.
TEST_F(SheetTest, TheExtensionExplanationEndsItsSheetAndThenGoesOn) {
    int continued = 0;
    bool windowGone = false;
    MainWindowSheetPresenter presenter(
        [&]() -> SheetWindowController* { return windowGone ? nullptr : &m_controller; },
        Bundle::main());
    ASSERT_TRUE(presenter.presentSystemExtensionExplanation([&] { ++continued; }));
    ASSERT_TRUE(m_controller.isPresenting());
    EXPECT_EQ(m_controller.currentContent()->kind(), SheetContentKind::systemExtensionInstallation);
    advance(std::chrono::milliseconds(500));

    auto* installation =
        static_cast<SystemExtensionInstallation*>(m_controller.currentContent()->view());
    QTest::mouseClick(installation->continueButton(), Qt::LeftButton);
    EXPECT_EQ(continued, 1);
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(m_controller.isPresenting());

    windowGone = true;
    EXPECT_FALSE(presenter.presentSystemExtensionExplanation([&] { ++continued; }));
    EXPECT_EQ(continued, 1);
}

// Cancel and Escape dismiss the explanation: its sheet ends and the start is cancelled once; an
// explanation without a way out shows no Cancel.
TEST_F(SheetTest, TheExtensionExplanationCanBeDismissedOnce) {
    MainWindowSheetPresenter presenter([&]() -> SheetWindowController* { return &m_controller; },
                                       Bundle::main());
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Escape" : "Cancel");
        int continued = 0;
        int cancelled = 0;
        ASSERT_TRUE(presenter.presentDismissableSystemExtensionExplanation([&] { ++continued; },
                                                                           [&] { ++cancelled; }));
        advance(std::chrono::milliseconds(500));
        auto* installation =
            static_cast<SystemExtensionInstallation*>(m_controller.currentContent()->view());
        ASSERT_FALSE(installation->cancelButton()->isHidden());
        if (byEscape) {
            installation->continueButton()->setFocus();
            QTest::keyClick(installation->continueButton(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(installation->cancelButton(), Qt::LeftButton);
        }
        installation->cancelButton()->click();  // a second press while the sheet fades
        EXPECT_EQ(cancelled, 1);
        EXPECT_EQ(continued, 0);
        advance(std::chrono::milliseconds(300));
        EXPECT_FALSE(m_controller.isPresenting());
    }
    ASSERT_TRUE(presenter.presentSystemExtensionExplanation([] {}));
    advance(std::chrono::milliseconds(500));
    auto* installation =
        static_cast<SystemExtensionInstallation*>(m_controller.currentContent()->view());
    EXPECT_TRUE(installation->cancelButton()->isHidden());
}

}  // namespace
}  // namespace tarnwick
