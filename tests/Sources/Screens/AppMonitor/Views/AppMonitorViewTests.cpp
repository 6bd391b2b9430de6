#include "ScannedMachine.h"
#include "Screens/AppMonitor/InterfaceText.h"
#include "Screens/AppMonitor/Views/AppMonitorCellView.h"
#include "Screens/AppMonitor/Views/AppMonitorHeader.h"
#include "Screens/AppMonitor/Views/AppMonitorInProgressView.h"
#include "Screens/AppMonitor/Views/AppMonitorResultView.h"
#include "Screens/AppMonitor/Views/AppMonitorStandByView.h"
#include "Screens/AppMonitor/Views/AppMonitorView.h"
#include "Screens/AppMonitor/Views/NoNetworkLabel.h"
#include "WidgetKit/Controls/ScanButtonView.h"
#include "WidgetKit/Controls/ScrollGradientView.h"
#include "support/BundleFixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using namespace tarnwick::testing;

class AppMonitorViewTest : public ::testing::Test {
protected:
    std::unique_ptr<AppMonitorView> makeView(std::shared_ptr<AppMonitorViewModel> model) {
        auto view = std::make_unique<AppMonitorView>(
            std::move(model), machine.center,
            [this](const std::shared_ptr<PUApplication>& application) {
                shown.push_back(application->name());
            });
        view->resize(1000, 640);
        view->show();
        return view;
    }
    template <typename Body>
    Body* body(const AppMonitorView& view) {
        return qobject_cast<Body*>(view.body());
    }

    ScannedMachine machine;
    std::vector<std::string> shown;
};

TEST_F(AppMonitorViewTest, TheScanButtonDrivesTheBodiesFromStandByToTheResultList) {
    auto model = machine.makeModel();
    auto view = makeView(model);
    auto* standBy = body<AppMonitorStandByView>(*view);
    ASSERT_NE(standBy, nullptr);
    EXPECT_EQ(standBy->frame(), "Welcome1");
    EXPECT_FALSE(standBy->mascot()->pixmap().isNull());
    EXPECT_EQ(standBy->progressText()->text(), u"Your examined apps will appear here..."_s);
    ScanButtonView* button = view->header()->scanButton();
    ASSERT_NE(button->button(), nullptr);
    EXPECT_EQ(button->button()->text(), u"Scan"_s);

    button->tap();
    ASSERT_NE(body<AppMonitorInProgressView>(*view), nullptr);
    EXPECT_EQ(model->scanState().get(), ScanState::active);
    // No button while a scan runs, so none can start twice.
    EXPECT_EQ(button->button(), nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return body<AppMonitorResultView>(*view) != nullptr; }, 60000));
    ASSERT_NE(button->button(), nullptr);
    EXPECT_EQ(button->button()->text(), u"Rescan"_s);
    // Until the found animation ended, the in-progress text told the count.
    EXPECT_EQ(model->progressDescription().get(), "Found 3 potentially unwanted applications");
}

TEST_F(AppMonitorViewTest, TheStageBodiesShowEachMascotFrameTheModelPublishes) {
    auto model = machine.makeModel();
    auto view = makeView(model);
    namespace IT = InterfaceText;
    for (const auto state : {ScanState::standBy, ScanState::active}) {
        model->setScanState(state);
        auto* stage = qobject_cast<MascotStageView*>(view->body());
        ASSERT_NE(stage, nullptr);
        for (const std::string_view frame :
             {IT::quendleWelcome1, IT::quendleWelcome2, IT::quendleWelcome3, IT::quendleIdle1,
              IT::quendleIdle2, IT::quendleIdle3, IT::quendleSuspicious1, IT::quendleSuspicious2,
              IT::quendleFound, IT::quendleHappy}) {
            SCOPED_TRACE(std::string(frame));
            model->setCurrentQuendleFrame(std::string(frame));
            EXPECT_EQ(stage->frame(), frame);
            EXPECT_FALSE(stage->mascot()->pixmap().isNull());
            EXPECT_EQ(stage->mascot()->width(), MascotStageView::mascotWidth);
        }
        model->setCurrentQuendleFrame(std::string(IT::quendleInitialFrame));
    }
}

TEST_F(AppMonitorViewTest, WithoutTargetCountriesTheButtonIsDisabledUntilTheScreenShowsAgain) {
    machine.m_hasCountries = false;
    auto model = machine.makeModel();
    auto view = makeView(model);
    ScanButtonView* button = view->header()->scanButton();
    EXPECT_FALSE(button->button()->isEnabled());
    EXPECT_NE(button->noTargetCountryButton(), nullptr);
    model->startScan();
    EXPECT_EQ(model->progressDescription().get(), "Your examined apps will appear here...");

    machine.m_hasCountries = true;
    view->hide();
    view->show();
    EXPECT_TRUE(button->button()->isEnabled());
    EXPECT_EQ(button->noTargetCountryButton(), nullptr);
}

TEST_F(AppMonitorViewTest, RowsShowNamesIconsAndEveryReasonInTheModelsOrder) {
    auto model = machine.makeModel();
    auto view = makeView(model);
    ScannedMachine::scan(*model);
    auto* results = body<AppMonitorResultView>(*view);
    ASSERT_NE(results, nullptr);
    const auto cells = results->cells();
    const auto& found = model->puApplications().get();
    ASSERT_EQ(cells.size(), found.size());
    ASSERT_EQ(cells.size(), 3u);
    for (std::size_t index = 0; index < cells.size(); ++index) {
        SCOPED_TRACE(found[index]->name());
        EXPECT_EQ(cells[index]->model(), found[index]);
        EXPECT_EQ(cells[index]->findChild<QLabel*>(u"name"_s)->text().toStdString(),
                  found[index]->name());
        std::vector<std::string> reasons;
        for (auto* line : cells[index]->findChildren<QLabel*>(u"reason"_s)) {
            reasons.push_back(line->text().toStdString());
        }
        std::vector<std::string> expected;
        for (const auto& reason : found[index]->reasons()) {
            expected.push_back(reason.descriptionText());
        }
        EXPECT_EQ(reasons, expected);
        EXPECT_FALSE(expected.empty());
        // No icon of its own: the generic application icon.
        EXPECT_FALSE(cells[index]->iconLabel()->pixmap().isNull());
    }
    EXPECT_FALSE(results->noNetworkLabel()->isShowingWarning());

    // The buttons appear under the pointer only, and keep their place meanwhile.
    AppMonitorCellView* first = cells.front();
    const QRect place = first->deleteButton()->geometry();
    EXPECT_EQ(first->buttonsOpacity(), 0.0);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(first, &enter);
    EXPECT_EQ(first->buttonsOpacity(), 1.0);
    EXPECT_EQ(first->deleteButton()->geometry(), place);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(first, &leave);
    EXPECT_EQ(first->buttonsOpacity(), 0.0);
    // The keyboard's way there shows them too.
    view->activateWindow();
    first->deleteButton()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->deleteButton()->hasFocus(); }, 2000));
    EXPECT_EQ(first->buttonsOpacity(), 1.0);
    first->deleteButton()->clearFocus();
    EXPECT_EQ(first->buttonsOpacity(), 0.0);

    first->showInFileManagerButton()->click();
    EXPECT_EQ(shown, std::vector<std::string>{found.front()->name()});
}

// With every row in sight and only the blank under the last one out of it, no fade lies over the
// last rows; with rows out of sight below, one does.
TEST_F(AppMonitorViewTest, TheBottomFadeCoversRowsOutOfSightOnly) {
    // Rows enough to scroll past the list's least height.
    for (const char* name : {"Beta", "Gamma", "Kappa", "Lambda"}) {
        BundleFixture fixture;
        fixture.name = std::string(name) + ".app";
        fixture.info = {{"CFBundleIdentifier", std::string("ru.") + name}};
        writeBundle(machine.home() / "Applications", fixture);
    }
    auto model = machine.makeModel();
    auto view = makeView(model);
    ScannedMachine::scan(*model);
    auto* results = body<AppMonitorResultView>(*view);
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(results->cells().size(), 7u);
    auto* list = results->findChild<QScrollArea*>(u"list"_s);
    ASSERT_NE(list, nullptr);
    const auto fades = results->findChildren<ScrollGradientView*>();
    ASSERT_EQ(fades.size(), 2);
    const ScrollGradientView* bottom =
        fades.back()->y() > fades.front()->y() ? fades.back() : fades.front();
    const int content = list->widget()->minimumSizeHint().height();
    // The window grows or shrinks until the list shows that much, each step once the layout
    // has followed the last one.
    const auto fitTo = [&](int viewportHeight) {
        int settled = -1;
        return QTest::qWaitFor(
            [&] {
                const int height = list->viewport()->height();
                if (height != viewportHeight && height == settled) {
                    view->resize(view->width(), view->height() + viewportHeight - height);
                }
                settled = height;
                return height == viewportHeight;
            },
            10000);
    };
    ASSERT_TRUE(fitTo(content - 30))
        << "content " << content << ", shown " << list->viewport()->height();
    EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
    EXPECT_FALSE(bottom->isVisible()) << "only blank below the last row";
    ASSERT_TRUE(fitTo(content - 120));
    EXPECT_TRUE(bottom->isVisible()) << "part of a row below";
}

TEST_F(AppMonitorViewTest, TheBannerTellsAScanWithoutNetworkOnly) {
    struct Case {
        const char* name;
        bool postsNoNetwork;
    };
    for (const Case& row : {Case{"online", false}, Case{"offline", true}}) {
        SCOPED_TRACE(row.name);
        auto model = machine.makeModel();
        auto view = makeView(model);
        model->setScanState(ScanState::active);
        model->startScan();
        if (row.postsNoNetwork) {
            machine.center.post(std::string(AppStoreInfoProvider::noNetworkNotification));
        }
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return model->scanState().get() == ScanState::done; }, 60000));
        auto* results = body<AppMonitorResultView>(*view);
        ASSERT_NE(results, nullptr);
        EXPECT_EQ(results->noNetworkLabel()->isShowingWarning(), row.postsNoNetwork);
    }
}

}  // namespace
}  // namespace tarnwick
