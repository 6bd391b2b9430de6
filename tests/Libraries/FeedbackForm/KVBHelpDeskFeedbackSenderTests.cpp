#include "FeedbackForm/KVBHelpDeskFeedbackSender.h"
#include "Foundation/Base64.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;
using testing::writeFile;

constexpr const char* kToken = "AccountToken0123456789";

// One request as the help desk saw it.
struct Seen {
    std::string target;
    std::string authorization;
    std::string contentType;
    std::string body;
};

// Plays the help desk on 127.0.0.1: records every request and answers with the status and body
// the test set for its path.
class FakeHelpDesk {
public:
    FakeHelpDesk() {
        const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            m_seen.push_back({request.target, request.get_header_value("Authorization"),
                              request.get_header_value("Content-Type"), request.body});
            const bool isUpload = request.path == "/api/v2/uploads.json";
            response.status = isUpload ? uploadStatus : requestStatus;
            response.set_content(isUpload ? uploadAnswer : "{\"request\":{\"id\":35436}}",
                                 "application/json");
        };
        m_server.routes().Post("/api/v2/uploads.json", handle);
        m_server.routes().Post("/api/v2/requests.json", handle);
        m_server.start();
    }

    std::string serviceURL() const { return "http://127.0.0.1:" + std::to_string(m_server.port()); }

    std::vector<Seen> seen() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

    int uploadStatus = 201;
    int requestStatus = 201;
    std::string uploadAnswer = R"({"upload":{"token":"6bk3gql82em5nmf","attachment":{"id":1}}})";

private:
    std::mutex m_mutex;
    std::vector<Seen> m_seen;
    testing::LoopbackHttpServer m_server;
};

std::optional<KVBError> send(KVBHelpDeskFeedbackSender& sender,
                             const KVBFeedbackParameters& parameters) {
    std::promise<std::optional<KVBError>> outcome;
    int calls = 0;
    sender.sendFeedbackWithParameters(parameters, [&](std::optional<KVBError> error) {
        ++calls;
        outcome.set_value(std::move(error));
    });
    auto future = outcome.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(calls, 1);
    return future.get();
}

KVBFeedbackParameters report() {
    return {{"name", std::string("Ada Lovelace")},
            {"email", std::string("ada@example.org")},
            {"subject", std::string("Bug Report")},
            {"details", std::string("It \"crashed\".\nTwice.")}};
}

std::string expectedAuthorization() {
    return "Basic " + base64Encode(std::string("ada@example.org/token:") + kToken);
}

TEST(KVBHelpDeskFeedbackSender, UploadsFilesOneByOneThenFilesTheRequestWithTheirToken) {
    FakeHelpDesk desk;
    TemporaryDirectory folder;
    writeFile(folder / "first.txt", std::string("one\0two", 7));
    writeFile(folder / "a b&c=d+é.png", "second");
    writeFile(folder / "Tarnwick_system_profile.txt", "profile");
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
    EXPECT_EQ(sender->maxAttachmentsCount(), 10u);
    EXPECT_EQ(sender->maxAttachmentFileSize(), 20u);

    auto parameters = report();
    // Listed twice, uploaded once.
    parameters["attachments"] = std::vector<std::filesystem::path>{
        folder / "first.txt", folder / "a b&c=d+é.png", folder / "first.txt"};
    parameters["system_profile"] = folder / "Tarnwick_system_profile.txt";

    EXPECT_EQ(send(*sender, parameters), std::nullopt);

    const auto seen = desk.seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].target, "/api/v2/uploads.json?filename=first.txt");
    EXPECT_EQ(seen[0].body, std::string("one\0two", 7));
    EXPECT_EQ(seen[1].target,
              "/api/v2/uploads.json?filename=a%20b%26c%3Dd%2B%C3%A9.png&token=6bk3gql82em5nmf");
    EXPECT_EQ(seen[1].body, "second");
    EXPECT_EQ(seen[2].target,
              "/api/v2/uploads.json?filename=Tarnwick_system_profile.txt&token=6bk3gql82em5nmf");
    EXPECT_EQ(seen[2].body, "profile");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].contentType, "application/binary");
        EXPECT_EQ(seen[i].authorization, expectedAuthorization());
    }
    EXPECT_EQ(seen[3].target, "/api/v2/requests.json");
    EXPECT_EQ(seen[3].contentType, "application/json");
    EXPECT_EQ(seen[3].authorization, expectedAuthorization());
    EXPECT_EQ(seen[3].body,
              R"({"request":{"requester":{"email":"ada@example.org","name":"Ada Lovelace"},)"
              R"("subject":"[Tarnwick] Bug Report","comment":{"body":"It \"crashed\".\nTwice.",)"
              R"("uploads":["6bk3gql82em5nmf"]}}})");
}

TEST(KVBHelpDeskFeedbackSender, AReportWithoutFilesIsOneRequestWithoutUploadsAndAnAnonymousName) {
    FakeHelpDesk desk;
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
    auto parameters = report();
    parameters["name"] = std::string();
    parameters["attachments"] = std::vector<std::filesystem::path>{};

    EXPECT_EQ(send(*sender, parameters), std::nullopt);

    const auto seen = desk.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].target, "/api/v2/requests.json");
    EXPECT_EQ(
        seen[0].body,
        R"({"request":{"requester":{"email":"ada@example.org","name":"Anonymous"},)"
        R"("subject":"[Tarnwick] Bug Report","comment":{"body":"It \"crashed\".\nTwice."}}})");
}

TEST(KVBHelpDeskFeedbackSender, InvalidParametersFailAtOnceAndSendNothing) {
    struct Case {
        const char* name;
        const char* key;
        std::optional<KVBParameterValue> value;
        std::optional<KVBError> expected;
    };
    const Case cases[] = {
        {"no e-mail", "email", std::nullopt,
         KVBError{101, "Invalid value passed for email parameter."}},
        {"e-mail as a number", "email", KVBParameterValue(std::int64_t{42}),
         KVBError{101, "Invalid value passed for email parameter."}},
        {"one-letter final part", "email", KVBParameterValue(std::string("ada@example.c")),
         KVBError{102, "Email string is invalid."}},
        {"no dot after the at sign", "email", KVBParameterValue(std::string("ada@localhost")),
         KVBError{102, "Email string is invalid."}},
        {"space in the address", "email", KVBParameterValue(std::string("ada @example.org")),
         KVBError{102, "Email string is invalid."}},
        {"subject as a file", "subject", KVBParameterValue(std::filesystem::path("/tmp")),
         KVBError{101, "Invalid value passed for subject parameter."}},
        {"empty subject", "subject", KVBParameterValue(std::string()),
         KVBError{103, "Subject string should not be empty."}},
        {"no details", "details", std::nullopt,
         KVBError{101, "Invalid value passed for details parameter."}},
        {"empty details", "details", KVBParameterValue(std::string()),
         KVBError{104, "Details string should not be empty."}},
    };
    FakeHelpDesk desk;
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto parameters = report();
        if (testCase.value) {
            parameters[testCase.key] = *testCase.value;
        } else {
            parameters.erase(testCase.key);
        }
        std::optional<KVBError> outcome;
        bool called = false;
        // Parameter failures complete on the calling thread, before anything is sent.
        sender->sendFeedbackWithParameters(parameters, [&](std::optional<KVBError> error) {
            called = true;
            outcome = std::move(error);
        });
        EXPECT_TRUE(called);
        EXPECT_EQ(outcome, testCase.expected);
    }
    EXPECT_TRUE(desk.seen().empty());
}

TEST(KVBHelpDeskFeedbackSender, SubjectOfSpacesIsNotEmptyForTheSender) {
    FakeHelpDesk desk;
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
    auto parameters = report();
    parameters["subject"] = std::string("   ");
    EXPECT_EQ(send(*sender, parameters), std::nullopt);
    ASSERT_EQ(desk.seen().size(), 1u);
    EXPECT_NE(desk.seen()[0].body.find(R"("subject":"[Tarnwick]    ")"), std::string::npos);
}

TEST(KVBHelpDeskFeedbackSender, StatusesOutside200To299AreBadResponses) {
    struct Case {
        int uploadStatus;
        int requestStatus;
        std::optional<int> expectedCode;
        std::size_t expectedRequests;
    };
    const Case cases[] = {
        {201, 201, std::nullopt, 2}, {200, 299, std::nullopt, 2},
        {422, 201, 108, 1},  // a failed upload stops the send
        {201, 300, 108, 2},          {201, 422, 108, 2},
        {500, 201, 108, 1},
    };
    TemporaryDirectory folder;
    writeFile(folder / "file.txt", "x");
    for (const auto& testCase : cases) {
        SCOPED_TRACE(std::to_string(testCase.uploadStatus) + "/" +
                     std::to_string(testCase.requestStatus));
        FakeHelpDesk desk;
        desk.uploadStatus = testCase.uploadStatus;
        desk.requestStatus = testCase.requestStatus;
        auto sender =
            KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
        auto parameters = report();
        parameters["attachments"] = std::vector<std::filesystem::path>{folder / "file.txt"};
        const auto outcome = send(*sender, parameters);
        EXPECT_EQ(outcome ? std::optional<int>(outcome->code) : std::nullopt,
                  testCase.expectedCode);
        EXPECT_EQ(desk.seen().size(), testCase.expectedRequests);
        if (outcome) {
            EXPECT_EQ(outcome->localizedDescription.rfind("Bad response returned by request: ", 0),
                      0u);
            // The error text reaches the log: it must never carry the authorisation.
            EXPECT_EQ(outcome->localizedDescription.find(expectedAuthorization().substr(6)),
                      std::string::npos);
            EXPECT_EQ(outcome->localizedDescription.find(kToken), std::string::npos);
        }
    }
}

TEST(KVBHelpDeskFeedbackSender, AnUploadAnswerWithoutATokenEndsTheSendAsABadResponse) {
    for (const std::string answer :
         {"", "not json", R"({"upload":{}})", R"({"upload":{"token":7}})", R"([1,2])",
          R"({"upload":{"token":""}})"}) {
        SCOPED_TRACE(answer);
        FakeHelpDesk desk;
        desk.uploadAnswer = answer;
        TemporaryDirectory folder;
        writeFile(folder / "file.txt", "x");
        writeFile(folder / "other.txt", "y");
        auto sender =
            KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
        auto parameters = report();
        parameters["attachments"] =
            std::vector<std::filesystem::path>{folder / "file.txt", folder / "other.txt"};
        const auto outcome = send(*sender, parameters);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->code, 108);
        // Neither the second upload nor a request that would have lost the files.
        EXPECT_EQ(desk.seen().size(), 1u);
    }
}

TEST(KVBHelpDeskFeedbackSender, UnreadableFileStopsTheSendWithoutRequests) {
    FakeHelpDesk desk;
    TemporaryDirectory folder;
    writeFile(folder / "file.txt", "x");
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());

    // First file unreadable: completes before anything is sent.
    auto parameters = report();
    parameters["attachments"] = std::vector<std::filesystem::path>{folder / "missing.txt"};
    auto outcome = send(*sender, parameters);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->code, 106);
    EXPECT_NE(outcome->localizedDescription.find("missing.txt"), std::string::npos);
    EXPECT_TRUE(desk.seen().empty());

    // Second file unreadable: the first went up, the request is never made.
    parameters["attachments"] =
        std::vector<std::filesystem::path>{folder / "file.txt", folder / "missing.txt"};
    outcome = send(*sender, parameters);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->code, 106);
    EXPECT_EQ(desk.seen().size(), 1u);
}

TEST(KVBHelpDeskFeedbackSender, TransportFailuresAre107AndAnOfflineMachineIs109) {
    // Nobody listens on the port the desk had.
    std::string deadURL;
    {
        FakeHelpDesk gone;
        deadURL = gone.serviceURL();
    }
    auto refused = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", deadURL);
    refused->setPathWatch([] { return true; });
    auto outcome = send(*refused, report());
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->code, 107);
    EXPECT_EQ(outcome->localizedDescription.rfind("Failed to send request with error:", 0), 0u);

    // By the failure and the connectivity watch.
    struct Case {
        HTTPError::Code code;
        bool pathUp;
        int expected;
    };
    const Case cases[] = {
        {HTTPError::Code::notConnectedToInternet, true, 109},
        {HTTPError::Code::timedOut, true, 109},
        {HTTPError::Code::connectionLost, true, 109},
        {HTTPError::Code::cannotResolveHost, false, 109},
        {HTTPError::Code::cannotResolveHost, true, 107},
        {HTTPError::Code::cannotConnect, false, 107},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(static_cast<int>(row.code) * 10 + row.pathUp);
        auto sender = KVBHelpDeskFeedbackSender::make(
            "brenlow", kToken, "Tarnwick", "http://127.0.0.1:9",
            [code = row.code](HTTPRequest, std::function<void(HTTPResult)> completion) {
                completion(HTTPError{code, "failed"});
            });
        sender->setPathWatch([up = row.pathUp] { return up; });
        outcome = send(*sender, report());
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->code, row.expected);
        if (row.expected == 109) {
            EXPECT_EQ(*outcome, (KVBError{109, "No Internet connection."}));
        }
    }
}

TEST(KVBHelpDeskFeedbackSender, TextsThatAreNotUTF8CannotBecomeTheRequest) {
    FakeHelpDesk desk;
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick", desk.serviceURL());
    auto parameters = report();
    parameters["details"] = std::string("broken \xff\xfe text");
    const auto outcome = send(*sender, parameters);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->code, 105);
    EXPECT_TRUE(desk.seen().empty());
}

TEST(KVBHelpDeskFeedbackSender, ProductionRequestsGoToTheAccountsHostOverHTTPS) {
    auto sender = KVBHelpDeskFeedbackSender::make("brenlow", kToken, "Tarnwick");
    EXPECT_EQ(sender->serviceURL(), "https://brenlow.helpdesk.brenlow-works.com");
}

}  // namespace
}  // namespace tarnwick
