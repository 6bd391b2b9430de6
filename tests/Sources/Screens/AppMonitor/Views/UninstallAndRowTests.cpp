#include "QtSupport/Utf8Text.h"
#include "ScannedMachine.h"
#include "Screens/AppMonitor/Views/AppMonitorCellView.h"
#include "Screens/AppMonitor/Views/AppMonitorResultView.h"
#include "Screens/AppMonitor/Views/AppMonitorStandByView.h"
#include "Screens/AppMonitor/Views/AppMonitorView.h"
#include "Screens/AppMonitor/Views/UninstallPopUpView.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using namespace tarnwick::testing;
using Role = UninstallPopUpView::ActionButton::Role;

TEST(UninstallPopUpTest, EachButtonAnswersOnceAndTheCardStaysSmall) {
    std::vector<bool> answers;
    UninstallPopUpView popUp(QIcon(), QStringLiteral("Alpha"),
                             [&](bool uninstall) { answers.push_back(uninstall); });
    popUp.resize(900, 900);
    popUp.show();
    EXPECT_EQ(popUp.question(), u"Uninstall Alpha?"_s);
    EXPECT_EQ(popUp.cancelButton()->text(), u"Cancel"_s);
    EXPECT_EQ(popUp.uninstallButton()->text(), u"Uninstall"_s);
    EXPECT_LE(popUp.card()->height(), UninstallPopUpView::maximumCardHeight);
    popUp.cancelButton()->click();
    EXPECT_EQ(answers, std::vector<bool>{false});
    popUp.uninstallButton()->click();
    EXPECT_EQ(answers, (std::vector<bool>{false, true}));

    EXPECT_EQ(UninstallPopUpView::ActionButton::roleFromRawValue("cancel"), Role::cancel);
    EXPECT_EQ(UninstallPopUpView::ActionButton::roleFromRawValue("uninstall"), Role::uninstall);
    for (const char* other : {"Cancel", "", "delete", "uninstall "}) {
        EXPECT_EQ(UninstallPopUpView::ActionButton::roleFromRawValue(other), std::nullopt) << other;
    }
}

// The App Monitor screen, shown, after a whole scan of the machine.
struct ScannedScreen {
    explicit ScannedScreen(ScannedMachine& machine)
        : model(machine.makeModel()), view(model, machine.center, {}) {
        view.resize(1000, 640);
        view.show();
        ScannedMachine::scan(*model);
    }
    AppMonitorResultView* results() const {
        return qobject_cast<AppMonitorResultView*>(view.body());
    }

    std::shared_ptr<AppMonitorViewModel> model;
    AppMonitorView view;
};

// How the user answers the pop-up over the first row, and what the removal then says.
struct RemovalCase {
    const char* name;
    enum class Answer { cancel, tapBeside, uninstall } answer;
    int removalExitStatus = 0;
    bool rowRemoved = false;
    bool failureTold = false;
};

void PrintTo(const RemovalCase& row, std::ostream* out) {
    *out << row.name;
}

class RemovalFlowTest : public ::testing::TestWithParam<RemovalCase> {};

TEST_P(RemovalFlowTest, ThePopUpClosesAndTheRowGoesOnlyWhenTheRemovalSucceeded) {
    const RemovalCase& row = GetParam();
    ScannedMachine machine;
    machine.removalExitStatus = row.removalExitStatus;
    ScannedScreen screen(machine);
    auto& model = screen.model;
    auto* results = screen.results();
    ASSERT_NE(results, nullptr);
    const auto first = model->puApplications().get().front();
    results->cells().front()->deleteButton()->click();

    ASSERT_TRUE(results->isUninstallPopUpPresented());
    UninstallPopUpView* popUp = results->uninstallPopUp();
    ASSERT_NE(popUp, nullptr);
    EXPECT_TRUE(popUp->isVisible());
    EXPECT_EQ(popUp->question().toStdString(), "Uninstall " + first->name() + "?");
    // The list under the pop-up takes no clicks and no scrolling.
    EXPECT_FALSE(results->scrollArea()->isEnabled());

    switch (row.answer) {
        case RemovalCase::Answer::cancel:
            popUp->cancelButton()->click();
            break;
        case RemovalCase::Answer::tapBeside:
            QTest::mouseClick(popUp, Qt::LeftButton, {}, QPoint(3, 3));
            break;
        case RemovalCase::Answer::uninstall:
            popUp->uninstallButton()->click();
            break;
    }
    EXPECT_FALSE(results->isUninstallPopUpPresented());
    EXPECT_TRUE(results->scrollArea()->isEnabled());
    const bool asked = row.answer == RemovalCase::Answer::uninstall;
    EXPECT_EQ(machine.removals, asked ? std::vector<std::string>{first->bundleURL()->string()}
                                      : std::vector<std::string>{});
    EXPECT_EQ(model->puApplications().get().size(), row.rowRemoved ? 2u : 3u);
    EXPECT_EQ(results->cells().size(), row.rowRemoved ? 2u : 3u);
    EXPECT_EQ(results->removalFailure()->isVisible(), row.failureTold);
    if (row.failureTold) {
        EXPECT_TRUE(
            results->removalFailure()->text().startsWith(QString::fromStdString(first->name())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RemovalFlowTest,
    ::testing::Values(RemovalCase{"cancel", RemovalCase::Answer::cancel},
                      RemovalCase{"tapBeside", RemovalCase::Answer::tapBeside},
                      RemovalCase{"removed", RemovalCase::Answer::uninstall, 0, true, false},
                      RemovalCase{"passwordRefused", RemovalCase::Answer::uninstall, 126, false,
                                  true},
                      RemovalCase{"removalFailed", RemovalCase::Answer::uninstall, 1, false, true}),
    [](const auto& test) { return std::string(test.param.name); });

// What the pop-up asks for an application of each kind, and what a refused or failed removal then
// tells under the title ("" when the application went).
// Long: a real scan of the fixture machine for each of the eight kinds.
TEST(RemovalFlowKindTest, ThePopUpNamesWhatGoesAndTellsWhyARemovalFailed) {
    using Kind = ApplicationOrigin::Kind;
    struct Case {
        const char* label;
        ApplicationOrigin origin;
        int exitStatus;
        std::string question;
        std::string failure;
        bool offered = true;
    };
    const std::string couldNot = "Could not remove \u201cAlpha\u201d: ";
    const std::string packageQuestion =
        "Remove the package \u201calpha-tools\u201d, which installed \u201cAlpha\u201d? Packages "
        "that depend on it go too. You will be asked for an administrator's password.";
    const Case cases[] = {
        {"package", {Kind::debianPackage, "alpha-tools", false, {}}, 0, packageQuestion, ""},
        {"package, no password",
         {Kind::debianPackage, "alpha-tools", false, {}},
         127,
         packageQuestion,
         couldNot + "no administrator's password was given. Nothing was removed."},
        // Where removal cannot succeed the card says so at once and offers no removal.
        {"package named like an option",
         {Kind::debianPackage, "-oAPT::x", false, {}},
         0,
         "Alpha cannot be removed here: the name it was installed under cannot be passed on "
         "safely.",
         "",
         false},
        {"user's flatpak fails",
         {Kind::flatpak, "org.alpha.App", true, {}},
         1,
         "Uninstall the Flatpak application \u201corg.alpha.App\u201d (Alpha) from the user's "
         "installation?",
         couldNot + "exit status 1"},
        {"snap",
         {Kind::snap, "alpha", false, {}},
         0,
         "Remove the snap \u201calpha\u201d (Alpha)? You will be asked for an administrator's "
         "password.",
         ""},
        {"AppImage",
         {Kind::appImage, {}, false, "/home/u/Downloads/Alpha.AppImage"},
         0,
         "Move \u201cAlpha.AppImage\u201d to the trash?",
         ""},
        {"an entry nothing installed",
         {Kind::desktopEntry, {}, false, "/x/alpha.desktop"},
         0,
         "No package manager installed this application, so it cannot be removed here. Remove "
         "its files by hand.",
         "",
         false},
        {"bundle fails",
         {Kind::bundle, {}, false, {}},
         1,
         "Uninstall Alpha?",
         "Alpha was not uninstalled: the removal was refused or failed."},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        ScannedMachine machine;
        machine.removalExitStatus = test.exitStatus;
        ScannedScreen screen(machine);
        auto* results = screen.results();
        ASSERT_NE(results, nullptr);
        const auto first = screen.model->puApplications().get().front();
        ASSERT_EQ(first->name(), "Alpha");
        if (test.origin.kind != Kind::bundle) {
            first->setOrigin(test.origin);
        }
        results->cells().front()->deleteButton()->click();
        ASSERT_NE(results->uninstallPopUp(), nullptr);
        EXPECT_EQ(results->uninstallPopUp()->question().toStdString(), test.question);
        // The whole question shows: the card's height limit cuts no line of it off.
        const auto* question = results->uninstallPopUp()->findChild<QLabel*>(u"question"_s);
        ASSERT_NE(question, nullptr);
        EXPECT_LE(results->uninstallPopUp()->card()->height(),
                  UninstallPopUpView::maximumCardHeight);
        EXPECT_GE(question->height(), question->heightForWidth(question->width()));
        if (!test.offered) {
            EXPECT_FALSE(results->uninstallPopUp()->uninstallButton()->isVisibleTo(
                results->uninstallPopUp()));
            EXPECT_FALSE(results->uninstallPopUp()->uninstallButton()->isEnabled());
            EXPECT_TRUE(
                results->uninstallPopUp()->cancelButton()->isVisibleTo(results->uninstallPopUp()));
            results->uninstallPopUp()->cancelButton()->click();
            EXPECT_EQ(results->cells().size(), 3u);
            EXPECT_FALSE(results->removalFailure()->isVisible());
            continue;
        }
        results->uninstallPopUp()->uninstallButton()->click();
        const bool removed = test.failure.empty();
        EXPECT_EQ(results->cells().size(), removed ? 2u : 3u);
        EXPECT_EQ(results->removalFailure()->isVisible(), !removed);
        if (!removed) {
            EXPECT_EQ(results->removalFailure()->text().toStdString(), test.failure);
        }
    }
}

TEST(RemovalFlowEndTest, RemovingTheLastApplicationReturnsToStandBy) {
    ScannedMachine machine;
    auto model = machine.makeModel();
    AppMonitorView view(model, machine.center, {});
    view.show();
    ScannedMachine::scan(*model);
    for (int left = 3; left > 0; --left) {
        auto* results = qobject_cast<AppMonitorResultView*>(view.body());
        ASSERT_NE(results, nullptr);
        ASSERT_EQ(results->cells().size(), std::size_t(left));
        results->cells().front()->deleteButton()->click();
        results->uninstallPopUp()->uninstallButton()->click();
    }
    EXPECT_EQ(model->scanState().get(), ScanState::done);
    // The screen goes back once the removal's completion ran, two seconds on.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return qobject_cast<AppMonitorStandByView*>(view.body()) != nullptr; }, 10000));
    EXPECT_EQ(model->scanState().get(), ScanState::standBy);
    EXPECT_EQ(machine.removals.size(), 3u);
}

TEST(CellTest, AnOwnIconIsShownAndTheDeleteButtonHandsOverItsApplication) {
    QImage red(64, 64, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    red.save(&buffer, "PNG");
    IconImage icon{{png.begin(), png.end()}, 64, 64};
    auto application = std::make_shared<PUApplication>(
        "Red", std::nullopt, "com.red", std::nullopt,
        std::vector<DetectionReason>{DetectionReason::bundleID("ru")}, std::nullopt, std::nullopt,
        [&](const std::string&) { return icon; });
    std::vector<std::shared_ptr<PUApplication>> removed;
    AppMonitorCellView cell(application, [&](const auto& chosen) { removed.push_back(chosen); },
                            {});
    cell.show();
    const QImage shown = cell.iconLabel()->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)), QColor(Qt::red));
    cell.deleteButton()->click();
    EXPECT_EQ(removed, std::vector<std::shared_ptr<PUApplication>>{application});
}

// A name from a desktop entry or a seller's address from the store may hold markup: a label that
// rendered it could be made to show anything, or to load a local file as an image.
TEST(CellTest, MarkupInNamesAndReasonsIsShownAsWritten) {
    const std::string name = "<img src=\"/etc/x.png\"><h1>Evil</h1>";
    auto application = std::make_shared<PUApplication>(
        name, std::nullopt, "com.evil", std::nullopt,
        std::vector<DetectionReason>{DetectionReason::sellerUrl("<b>seller</b>")}, std::nullopt,
        std::nullopt);
    AppMonitorCellView cell(application, [](const auto&) {}, {});
    UninstallPopUpView popUp(QIcon(), qtext(name), [](bool) {});
    ScannedMachine machine;
    ScannedScreen screen(machine);
    ASSERT_NE(screen.results(), nullptr);
    const QLabel* labels[] = {
        cell.findChild<QLabel*>(u"name"_s), cell.findChild<QLabel*>(u"reason"_s),
        popUp.findChild<QLabel*>(u"question"_s), screen.results()->removalFailure()};
    for (const QLabel* label : labels) {
        ASSERT_NE(label, nullptr);
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(labels[0]->text().toStdString(), name);
}

}  // namespace
}  // namespace tarnwick
