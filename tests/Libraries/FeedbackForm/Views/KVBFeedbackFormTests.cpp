#include "FeedbackForm/Views/KVBAttachmentsViewController.h"
#include "FeedbackForm/Views/KVBBundleHelper.h"
#include "FeedbackForm/Views/KVBFeedbackController.h"
#include "FeedbackForm/Views/KVBInterfaceSettings.h"
#include "FeedbackForm/Views/KVBMainViewController.h"
#include "FeedbackForm/Views/KVBTextControlValidationContainer.h"
#include "FeedbackForm/Views/KVBTextFieldWrapper.h"
#include "FeedbackForm/Views/KVBTransparentSpinner.h"
#include "FeedbackFormTestSupport.h"
#include "support/TemporaryDirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using testing::ChosenFiles;
using testing::FixedProfileProvider;
using testing::HeldSender;
using testing::RecordingAlerts;

// The form in its window, with stand-ins for everything around it.
struct FormFixture {
    std::shared_ptr<HeldSender> sender = std::make_shared<HeldSender>();
    std::shared_ptr<FixedProfileProvider> provider = std::make_shared<FixedProfileProvider>();
    std::shared_ptr<ChosenFiles> files = std::make_shared<ChosenFiles>();
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>();
    std::shared_ptr<KVBInterfaceSettings> settings = KVBInterfaceSettings::defaultSettings();
    KVBFeedbackController controller{sender, settings, provider, files, alerts};
    std::vector<std::optional<KVBError>> outcomes;

    FormFixture() {
        controller.setOnDidSendFeedback(
            [this](std::optional<KVBError> error) { outcomes.push_back(error); });
        controller.showWindow();
        QApplication::setActiveWindow(controller.window());
    }

    KVBMainViewController& form() { return *controller.mainViewController(); }

    void type(QWidget* field, const QString& text) {
        field->setFocus();
        QTest::keyClicks(field, text);
    }

    void fill(const QString& email, const QString& details) {
        form().nameFieldWrapper()->setStringValue(u"  Ada Lovelace "_s);
        form().emailFieldContainer()->textControl()->setStringValue(email);
        form().detailsFieldContainer()->textControl()->setStringValue(details);
    }

    void clickSend() { QTest::mouseClick(form().sendButton(), Qt::LeftButton); }

    bool waitForOutcome(std::size_t count = 1) {
        return QTest::qWaitFor([&] { return outcomes.size() >= count; }, 10'000);
    }
};

TEST(KVBMainViewController, EmailAndDetailsRulesRefuseTheSend) {
    struct Case {
        const char* name;
        QString email;
        QString details;
        bool emailValid;
        QString emailMessage;
        bool detailsValid;
    };
    const Case cases[] = {
        {"empty e-mail: border only", u""_s, u"text"_s, false, u""_s, true},
        {"malformed e-mail: with a message", u"abc"_s, u"text"_s, false, u"Incorrect email"_s,
         true},
        {"details of spaces and line breaks", u"ada@example.org"_s, u" \n\t\n "_s, true, u""_s,
         false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FormFixture fixture;
        fixture.fill(testCase.email, testCase.details);
        fixture.clickSend();
        auto* email = fixture.form().emailFieldContainer();
        auto* details = fixture.form().detailsFieldContainer();
        EXPECT_EQ(email->isValid(), testCase.emailValid);
        EXPECT_EQ(details->isValid(), testCase.detailsValid);
        EXPECT_EQ(email->errorLabel()->isVisible(), !testCase.emailMessage.isEmpty());
        EXPECT_EQ(email->errorLabel()->text(), testCase.emailMessage);
        EXPECT_EQ(email->textControl()->borderColor(),
                  testCase.emailValid ? kvbTextFieldBorderColor() : kvbErrorColor());
        EXPECT_FALSE(fixture.form().isSendingForm());
        EXPECT_TRUE(fixture.sender->reports().empty());
    }
}

TEST(KVBMainViewController, TypingClearsAnErrorAndLeavingTheFieldChecksAgain) {
    FormFixture fixture;
    fixture.fill(u"abc"_s, u"text"_s);
    fixture.clickSend();
    auto* email = fixture.form().emailFieldContainer();
    ASSERT_TRUE(email->errorLabel()->isVisible());

    fixture.type(email->textControl()->view(), u"@"_s);
    EXPECT_FALSE(email->errorLabel()->isVisible());
    EXPECT_EQ(email->textControl()->borderColor(), kvbTextFieldBorderColor());

    fixture.form().nameFieldWrapper()->view()->setFocus();  // leaves the e-mail field
    EXPECT_TRUE(email->errorLabel()->isVisible());
    EXPECT_FALSE(email->isValid());
}

TEST(KVBMainViewController, SendingHandsOverTrimmedTextsAndIsBusyUntilTheAnswer) {
    FormFixture fixture;
    testing::TemporaryDirectory folder;
    testing::writeFile(folder / "shot.png", "png");
    fixture.files->files = {folder / "shot.png"};
    fixture.form().attachmentsViewController()->attachButtonItemDidReceiveClick(nullptr);
    fixture.form().subjectButton()->setCurrentIndex(2);
    fixture.fill(u" ada@example.org\n"_s, u"\n  It crashed.  \n"_s);

    fixture.clickSend();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fixture.sender->reports().size() == 1; }, 10'000));

    auto& form = fixture.form();
    EXPECT_TRUE(form.isSendingForm());
    EXPECT_FALSE(form.sendButton()->isEnabled());
    EXPECT_EQ(form.sendButton()->text(), u"Sending..."_s);
    EXPECT_TRUE(form.progressSpinner()->isVisible());
    EXPECT_FALSE(form.subjectButton()->isEnabled());
    EXPECT_FALSE(form.nameFieldWrapper()->isEnabled());
    EXPECT_FALSE(form.emailFieldContainer()->textControl()->isEnabled());
    EXPECT_FALSE(form.detailsFieldContainer()->textControl()->isEnabled());
    EXPECT_FALSE(form.attachmentsViewController()->isEnabled());
    EXPECT_FALSE(form.systemProfileCheckbox()->isEnabled());
    EXPECT_FALSE(form.systemInfoClickableView()->isEnabled());
    // A second press while sending is refused.
    form.sendButtonClicked();
    EXPECT_EQ(fixture.sender->reports().size(), 1u);

    const auto report = fixture.sender->reports()[0];
    EXPECT_EQ(std::get<std::string>(report.at("name")), "Ada Lovelace");
    EXPECT_EQ(std::get<std::string>(report.at("email")), "ada@example.org");
    EXPECT_EQ(std::get<std::string>(report.at("details")), "It crashed.");
    EXPECT_EQ(std::get<std::string>(report.at("subject")), "Bug Report");
    EXPECT_EQ(std::get<std::vector<std::filesystem::path>>(report.at("attachments")),
              (std::vector<std::filesystem::path>{folder / "shot.png"}));
    EXPECT_EQ(report.count("system_profile"), 0u);
    EXPECT_EQ(fixture.provider->writes, 0);

    fixture.sender->answer(KVBError{108, "Bad response"});
    ASSERT_TRUE(fixture.waitForOutcome());
    EXPECT_FALSE(form.isSendingForm());
    EXPECT_TRUE(form.sendButton()->isEnabled());
    EXPECT_EQ(form.sendButton()->text(), u"Send Feedback"_s);
    EXPECT_FALSE(form.progressSpinner()->isVisible());
    EXPECT_EQ(form.detailsFieldValue(), u"\n  It crashed.  \n"_s);  // kept as typed
    EXPECT_EQ(form.attachments().size(), 1u);
}

TEST(KVBMainViewController, TheProfileGoesAlongWhenWrittenAndTheReportGoesWithoutItWhenNot) {
    for (const bool written : {true, false}) {
        SCOPED_TRACE(written ? "written" : "not written");
        FormFixture fixture;
        if (written) {
            fixture.provider->file = "/tmp/Tarnwick_system_profile.txt";
        }
        fixture.form().systemProfileCheckbox()->setChecked(true);
        fixture.fill(u"ada@example.org"_s, u"text"_s);
        fixture.clickSend();
        ASSERT_TRUE(QTest::qWaitFor([&] { return fixture.sender->reports().size() == 1; }, 10'000));
        EXPECT_EQ(fixture.provider->writes, 1);
        const auto report = fixture.sender->reports()[0];
        if (written) {
            EXPECT_EQ(std::get<std::filesystem::path>(report.at("system_profile")),
                      "/tmp/Tarnwick_system_profile.txt");
        } else {
            EXPECT_EQ(report.count("system_profile"), 0u);
        }
        fixture.sender->answer(std::nullopt);
        ASSERT_TRUE(fixture.waitForOutcome());
        EXPECT_FALSE(fixture.form().isSendingForm());
    }
}

TEST(KVBMainViewController, SettingsDecideIconTextsAndDefaults) {
    FormFixture fixture;
    auto& form = fixture.form();
    EXPECT_FALSE(form.iconContainer()->isVisible());
    EXPECT_EQ(form.formContainer()->x(), 20);
    EXPECT_EQ(form.titleLabel()->text(), u"Provide Feedback"_s);
    ASSERT_EQ(form.subjectButton()->count(), 3);
    EXPECT_EQ(form.subjectButton()->itemText(0), u"Feedback"_s);

    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    fixture.settings->setIcon(icon);
    QApplication::processEvents();
    fixture.controller.window()->adjustSize();
    EXPECT_TRUE(form.iconContainer()->isVisible());
    EXPECT_EQ(form.formContainer()->x(), form.iconContainer()->geometry().right() + 1 + 18);

    form.nameFieldWrapper()->setStringValue(u"typed"_s);
    fixture.settings->setDefaultName(u"Grace"_s);
    fixture.settings->setSubjectOptions({u"Only"_s});
    EXPECT_EQ(form.nameFieldValue(), u"Grace"_s);
    EXPECT_EQ(form.subjectButton()->count(), 1);
}

TEST(KVBMainViewController, FocusStartsInTheFirstEmptyField) {
    auto settings = KVBInterfaceSettings::defaultSettings();
    settings->setDefaultName(u"Ada"_s);
    settings->setDefaultEmail(u"ada@example.org"_s);
    KVBFeedbackController controller(
        std::make_shared<HeldSender>(), settings, std::make_shared<FixedProfileProvider>(),
        std::make_shared<ChosenFiles>(), std::make_shared<RecordingAlerts>());
    controller.showWindow();
    QApplication::setActiveWindow(controller.window());
    EXPECT_EQ(controller.window()->focusWidget(),
              controller.mainViewController()->detailsFieldContainer()->textControl()->view());
}

TEST(KVBFeedbackController, EscapeAndCtrlWCloseTheForm) {
    KVBFeedbackController controller(
        std::make_shared<HeldSender>(), KVBInterfaceSettings::defaultSettings(),
        std::make_shared<FixedProfileProvider>(), std::make_shared<ChosenFiles>(),
        std::make_shared<RecordingAlerts>());
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        controller.showWindow();
        QApplication::setActiveWindow(controller.window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller.window()));
        QTest::keyClick(controller.window()->focusWidget(), keys.key(), keys.keyboardModifiers());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !controller.window()->isVisible(); }))
            << QKeySequence(keys).toString().toStdString();
    }
}

TEST(KVBFeedbackController, EscapeClosesTheOpenSubjectListBeforeTheForm) {
    FormFixture fixture;
    QWidget* window = fixture.controller.window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QComboBox* subjects = fixture.form().subjectButton();
    subjects->setFocus();
    subjects->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    QWidget* list = QApplication::activePopupWidget();
    QTest::keyClick(list->focusWidget() ? list->focusWidget() : list, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }));
    EXPECT_TRUE(window->isVisible()) << "the list closed, not the form";

    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window->focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
}

TEST(KVBFeedbackController, OutcomesShowTheirAlertsBeforeTheHostHearsThem) {
    struct Case {
        const char* name;
        std::optional<KVBError> error;
        bool isSheet;
        QString title;
        QString text;
        bool windowStaysOpen;
    };
    const Case cases[] = {
        {"offline, any domain", KVBError{109, "No Internet connection."}, true,
         u"Report could not be sent due to a connection problem."_s,
         u"Please check your Internet connection or Firewall settings and try again."_s, true},
        {"bad response", KVBError{108, "Bad response"}, true,
         u"An error occurred while sending report."_s,
         u"Please make sure you've filled the form correctly and try again (error code: 108)."_s,
         true},
        {"success", std::nullopt, false, u"Feedback successfully sent!"_s,
         u"Every user report gets carefully analyzed, however, not all requests will be answered "
         u"directly.\nThank you for helping us make our products better!"_s,
         false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        FormFixture fixture;
        fixture.fill(u"ada@example.org"_s, u"text"_s);
        fixture.clickSend();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !fixture.sender->reports().empty(); }, 10'000));
        fixture.sender->answer(testCase.error);
        ASSERT_TRUE(fixture.waitForOutcome());
        ASSERT_EQ(fixture.alerts->shown.size(), 1u);
        EXPECT_EQ(fixture.alerts->shown[0].isSheet, testCase.isSheet);
        EXPECT_EQ(fixture.alerts->shown[0].title, testCase.title);
        EXPECT_EQ(fixture.alerts->shown[0].text, testCase.text);
        EXPECT_EQ(fixture.controller.window()->isVisible(), testCase.windowStaysOpen);
        EXPECT_EQ(fixture.outcomes[0], testCase.error);
    }
}

TEST(KVBFeedbackController, SwitchedOffAlertsShowNothingButTheHostStillHears) {
    FormFixture fixture;
    fixture.controller.setShowsGenericErrorSheet(false);
    fixture.controller.setShowsGenericSuccessAlert(false);
    fixture.fill(u"ada@example.org"_s, u"text"_s);
    for (const auto& outcome :
         {std::optional<KVBError>(KVBError{107, "x"}), std::optional<KVBError>()}) {
        fixture.clickSend();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return fixture.sender->reports().size() == fixture.outcomes.size() + 1; },
            10'000));
        fixture.sender->answer(outcome);
        ASSERT_TRUE(fixture.waitForOutcome(fixture.outcomes.size() + 1));
    }
    EXPECT_TRUE(fixture.alerts->shown.empty());
    EXPECT_EQ(fixture.outcomes.size(), 2u);
    EXPECT_TRUE(fixture.controller.window()->isVisible());
}

TEST(KVBFeedbackController, ShowingAgainKeepsTheSameWindowCentred) {
    FormFixture fixture;
    KVBWindow* window = fixture.controller.window();
    window->move(0, 0);
    fixture.controller.showWindow();
    EXPECT_EQ(fixture.controller.window(), window);
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_NEAR(window->frameGeometry().center().x(), screen.center().x(), 1);
    EXPECT_NEAR(window->frameGeometry().center().y(), screen.center().y(), 1);
}

}  // namespace
}  // namespace tarnwick
