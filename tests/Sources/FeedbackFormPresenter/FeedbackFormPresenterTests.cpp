#include "FeedbackForm/KVBDefaultSystemProfileProvider.h"
#include "FeedbackForm/Views/KVBAttachmentsViewController.h"
#include "FeedbackForm/Views/KVBFeedbackController.h"
#include "FeedbackForm/Views/KVBInterfaceSettings.h"
#include "FeedbackForm/Views/KVBMainViewController.h"
#include "FeedbackForm/Views/KVBTextControlValidationContainer.h"
#include "FeedbackForm/Views/KVBTextFieldWrapper.h"
#include "FeedbackFormPresenter/FeedbackFormPresenter.h"
#include "Libraries/FeedbackForm/Views/FeedbackFormTestSupport.h"
#include "Libraries/Logging/LoggingTestSupport.h"
#include "Logging/FileDestination.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryDirectory.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <mutex>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
using testing::ChosenFiles;
using testing::RecordingAlerts;

struct Captured {
    std::string target;
    std::string body;
};

class PresenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogHub::removeAllDestinations();
        m_recorder->setAsynchronously(false);
        LogHub::addDestination(m_recorder);
        m_logFile = std::make_shared<FileDestination>(m_folder / "presenter.log");
        m_logFile->setAsynchronously(false);
        LogHub::addDestination(m_logFile);

        const auto record = [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            m_seen.push_back({request.target, request.body});
            response.status =
                request.path == "/api/v2/requests.json" ? m_requestStatus.load() : 201;
            response.set_content(R"({"upload":{"token":"tok"}})", "application/json");
        };
        m_desk.routes().Post("/api/v2/uploads.json", record);
        m_desk.routes().Post("/api/v2/requests.json", record);
        m_desk.start();
    }
    void TearDown() override { LogHub::removeAllDestinations(); }

    FeedbackFormPresenter makePresenter() {
        FeedbackFormPresenter::HelpDeskAccount account{
            "brenlow", "token", "Tarnwick", "http://127.0.0.1:" + std::to_string(m_desk.port())};
        return FeedbackFormPresenter(ContextLog(LogContextType::feedbackForm), account,
                                     [this](std::shared_ptr<KVBFeedbackSender> sender) {
                                         return std::make_unique<KVBFeedbackController>(
                                             std::move(sender), nullptr,
                                             KVBDefaultSystemProfileProvider::make(), m_files,
                                             m_alerts);
                                     });
    }

    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const auto& entry : m_recorder->entries()) {
            texts.push_back(entry.message);
        }
        return texts;
    }

    std::vector<Captured> seen() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

    testing::TemporaryDirectory m_folder;
    std::shared_ptr<testing::RecordingDestination> m_recorder =
        std::make_shared<testing::RecordingDestination>();
    std::shared_ptr<FileDestination> m_logFile;
    std::shared_ptr<ChosenFiles> m_files = std::make_shared<ChosenFiles>();
    std::shared_ptr<RecordingAlerts> m_alerts = std::make_shared<RecordingAlerts>();
    testing::LoopbackHttpServer m_desk;
    std::atomic<int> m_requestStatus{201};
    std::mutex m_mutex;
    std::vector<Captured> m_seen;
};

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(PresenterTest, PresentingTwiceShowsTheSameWindow) {
    auto presenter = makePresenter();
    EXPECT_EQ(presenter.feedbackFormController(), nullptr);
    presenter.presentFeedbackForm();
    KVBFeedbackController* controller = presenter.feedbackFormController();
    ASSERT_NE(controller, nullptr);
    EXPECT_TRUE(controller->window()->isVisible());
    controller->window()->close();
    presenter.presentFeedbackForm();
    EXPECT_EQ(presenter.feedbackFormController(), controller);
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_EQ(controller->logURLs(),
              (std::vector<std::filesystem::path>{m_folder / "presenter.log"}));
    const auto lines = messages();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Did present feedback form."), 2);
}

TEST_F(PresenterTest, AReportWithAttachmentsAndTheProfileReachesTheHelpDesk) {
    testing::writeFile(m_folder / "notes.txt", "my notes");
    m_files->files = {m_folder / "notes.txt"};
    LogHub::info("a line of the application log");

    auto presenter = makePresenter();
    presenter.presentFeedbackForm();
    auto& form = *presenter.feedbackFormController()->mainViewController();
    form.attachmentsViewController()->attachButtonItemDidReceiveClick(nullptr);
    form.nameFieldWrapper()->setStringValue(u"Ada"_s);
    form.emailFieldContainer()->textControl()->setStringValue(u"ada@example.org"_s);
    form.detailsFieldContainer()->textControl()->setStringValue(u"Hello"_s);
    form.systemProfileCheckbox()->setChecked(true);
    QTest::mouseClick(form.sendButton(), Qt::LeftButton);

    ASSERT_TRUE(QTest::qWaitFor([&] { return contains(messages(), "Successfully sent feedback."); },
                                60'000));
    const auto requests = seen();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].target, "/api/v2/uploads.json?filename=notes.txt");
    EXPECT_EQ(requests[0].body, "my notes");
    EXPECT_NE(requests[1].target.find("_system_profile.txt&token=tok"), std::string::npos);
    // A machine whose model cannot be read leaves that row out.
    EXPECT_EQ(requests[1].body.rfind("---------- SYSTEM INFO ----------\n\n", 0), 0u);
    EXPECT_NE(requests[1].body.find("-----presenter.log-----\n\n"), std::string::npos);
    EXPECT_NE(requests[1].body.find("a line of the application log"), std::string::npos);
    EXPECT_EQ(requests[2].target, "/api/v2/requests.json");
    EXPECT_NE(requests[2].body.find(R"("uploads":["tok"])"), std::string::npos);
    ASSERT_EQ(m_alerts->shown.size(), 1u);
    EXPECT_EQ(m_alerts->shown[0].title, u"Feedback successfully sent!"_s);
}

TEST_F(PresenterTest, AFailedSendLogsOneErrorLineWithTheReason) {
    auto presenter = makePresenter();
    presenter.presentFeedbackForm();
    m_requestStatus = 422;
    auto& form = *presenter.feedbackFormController()->mainViewController();
    form.emailFieldContainer()->textControl()->setStringValue(u"ada@example.org"_s);
    form.detailsFieldContainer()->textControl()->setStringValue(u"Hello"_s);
    QTest::mouseClick(form.sendButton(), Qt::LeftButton);

    const auto isFailure = [](const std::string& line) {
        return line.rfind("Failed sending feedback: Bad response returned by request: ", 0) == 0;
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto lines = messages();
            return std::any_of(lines.begin(), lines.end(), isFailure);
        },
        30'000));
    const auto lines = messages();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isFailure), 1);
    for (const auto& line : lines) {
        EXPECT_EQ(line.find("Basic "), std::string::npos);  // never the authorisation
    }
}

}  // namespace
}  // namespace tarnwick
