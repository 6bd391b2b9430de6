#include "Foundation/Base64.h"
#include "Foundation/PropertyList.h"
#include "Logging/LHPlatformDestination.h"
#include "LoggingTestSupport.h"
#include "Network/HTTPSession.h"
#include "OSLog/OSLog.h"
#include "PayloadDecryption.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryDirectory.h"

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <deque>
#include <future>
#include <regex>
#include <thread>

namespace tarnwick {
namespace {

using nlohmann::json;
using testing::decryptPayload;
using testing::fixedMoment;
using testing::LogHubTest;
using testing::readFile;
using testing::SettableClock;
using testing::TemporaryDirectory;
using testing::writeFile;

constexpr std::string_view kKey = "k3y-of-exactly-thirty-two-bytes!";
const LHPlatformDestination::FileNames kFiles{"entries.jsonl", "sending.jsonl", "analytics.json"};

// Seconds since 1970 as the destination writes them: whole seconds plus the fraction.
double seconds(WallClock::TimePoint time) {
    const auto whole = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch());
    return static_cast<double>(whole.count()) +
           std::chrono::duration<double>(time.time_since_epoch() - whole).count();
}

// What the loopback service saw of one request.
struct Received {
    std::string authorization;
    std::string contentType;
    std::string accept;
    std::string body;
};

class PlatformDestinationTest : public LogHubTest {
protected:
    void SetUp() override {
        LogHubTest::SetUp();
        writeBundle(m_home / "Host.app", "2.5", "42");
        m_server.routes().Post(
            "/api/entries/", [this](const httplib::Request& request, httplib::Response& response) {
                std::function<void()> beforeAnswer;
                int status = 200;
                {
                    std::lock_guard lock(m_mutex);
                    m_received.push_back({request.get_header_value("Authorization"),
                                          request.get_header_value("Content-Type"),
                                          request.get_header_value("Accept"), request.body});
                    if (!m_statuses.empty()) {
                        status = m_statuses.front();
                        m_statuses.pop_front();
                    }
                    beforeAnswer = m_beforeAnswer;
                }
                if (beforeAnswer) {
                    beforeAnswer();
                }
                response.status = status;
                if (status == 302) {
                    response.set_header("Location", "/elsewhere");
                }
                response.set_content("{\"ignored\":true}", "application/json");
            });
        m_server.start();
    }

    static void writeBundle(const std::filesystem::path& bundle, const std::string& version,
                            const std::string& build) {
        writeFile(bundle / "Contents" / "Info.plist", PropertyList::toXml(Value(Value::Dictionary{
                                                          {"CFBundleExecutable", "Host"},
                                                          {"CFBundleShortVersionString", version},
                                                          {"CFBundleVersion", build},
                                                      })));
    }

    std::string serviceURL() const { return m_server.baseURL() + "api/entries/"; }

    LHPlatformDestination::Services services(const std::filesystem::path& dataHome) {
        LHPlatformDestination::Services services;
        services.clock = &m_clock;
        services.directories =
            StandardDirectories([dataHome](const std::string& name) -> std::optional<std::string> {
                if (name == "XDG_DATA_HOME") {
                    return dataHome.string();
                }
                return std::nullopt;
            });
        services.bundle = Bundle(m_bundle);
        return services;
    }

    std::shared_ptr<LHPlatformDestination> make(std::optional<std::string> url,
                                                std::string key = std::string(kKey)) {
        return makeAt(m_home / "share", std::move(url), std::move(key));
    }
    std::shared_ptr<LHPlatformDestination> makeAt(const std::filesystem::path& dataHome,
                                                  std::optional<std::string> url,
                                                  std::string key = std::string(kKey)) {
        return std::make_shared<LHPlatformDestination>("app-id", "s3cret", std::move(key),
                                                       std::move(url), kFiles, services(dataHome));
    }

    std::filesystem::path folder() const { return m_home / "share" / "Host"; }
    std::filesystem::path entriesFile() const { return folder() / kFiles.entries; }
    std::filesystem::path sendingFile() const { return folder() / kFiles.sending; }
    std::filesystem::path analyticsFile() const { return folder() / kFiles.analytics; }

    // Sends on the destination's queue, where the logger and the service's answers run too.
    static std::optional<std::string> log(LHPlatformDestination& destination, LogLevel level,
                                          const std::string& message) {
        std::optional<std::string> line;
        destination.execute(true, [&] {
            line =
                destination.send(level, message, "worker", "/src/App/Main.swift", "run()", 12, {});
        });
        return line;
    }

    template <typename F>
    static auto onQueue(LHPlatformDestination& destination, F read) {
        decltype(read()) value{};
        destination.execute(true, [&] { value = read(); });
        return value;
    }

    static bool waitUntilIdle(LHPlatformDestination& destination) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (onQueue(destination, [&] { return destination.sendingInProgress(); })) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    std::vector<Received> received() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    void answerWith(std::initializer_list<int> statuses) {
        std::lock_guard lock(m_mutex);
        m_statuses.assign(statuses);
    }

    // The plain upload document of one request, decrypted as the service does.
    static json document(const Received& request) {
        const json body = json::parse(request.body);
        EXPECT_EQ(body.size(), 1u);
        const auto plain = decryptPayload(body.at("payload").get<std::string>(), kKey);
        EXPECT_TRUE(plain);
        return plain ? json::parse(*plain) : json();
    }
    static std::vector<std::string> messages(const json& document) {
        std::vector<std::string> result;
        for (const auto& entry : document.at("entries")) {
            result.push_back(entry.at("message"));
        }
        return result;
    }
    static std::vector<std::string> fileMessages(const std::filesystem::path& file) {
        std::vector<std::string> result;
        std::istringstream lines(readFile(file));
        for (std::string line; std::getline(lines, line);) {
            result.push_back(json::parse(line).at("message"));
        }
        return result;
    }

    TemporaryDirectory m_home;
    std::filesystem::path m_bundle = m_home / "Host.app";
    SettableClock m_clock{fixedMoment()};
    testing::LoopbackHttpServer m_server;
    std::mutex m_mutex;
    std::vector<Received> m_received;
    std::deque<int> m_statuses;
    std::function<void()> m_beforeAnswer;
};

// Collects what the destination writes to the system log while it lives.
class DebugLogRecorder {
public:
    DebugLogRecorder() {
        OSLog::setObserverForTesting([this](const OSLog&, OSLogType, std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(line);
        });
    }
    ~DebugLogRecorder() { OSLog::setObserverForTesting(nullptr); }
    bool contains(const std::string& text) {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

TEST_F(PlatformDestinationTest, UploadsOneEncryptedBatchThatTheServiceCanRead) {
    // The session is made per request, for answers on the destination's own queue.
    std::shared_ptr<DispatchQueue> answerQueue;
    auto services = this->services(m_home / "share");
    services.makeSession = [&](std::shared_ptr<DispatchQueue> queue) {
        answerQueue = queue;
        return std::make_shared<HTTPSession>(std::move(queue));
    };
    auto destination = std::make_shared<LHPlatformDestination>(
        "app-id", "s3cret", std::string(kKey), serviceURL(), kFiles, std::move(services));
    EXPECT_EQ(destination->defaultHashValue(), 3);
    destination->setAnalyticsUserName("ada");
    LogHub::addDestination(destination);

    LogHub::info("first", "/src/App/Main.swift", "run()", 12);
    LogHub::info("zweite Zeile ✓", "/src/App/Deep/Other.swift", "go()", 7);
    ASSERT_TRUE(LogHub::flush(5));
    ASSERT_TRUE(waitUntilIdle(*destination));

    const auto requests = received();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(answerQueue, destination->queue());
    EXPECT_EQ(requests[0].authorization, "Basic " + base64Encode("app-id:s3cret"));
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_EQ(requests[0].accept, "application/json");

    json uploaded = document(requests[0]);
    ASSERT_EQ(uploaded.size(), 2u);
    ASSERT_EQ(uploaded["entries"].size(), 2u);
    for (auto& entry : uploaded["entries"]) {
        EXPECT_TRUE(entry["thread"].is_string());
        entry.erase("thread");
    }
    const double now = seconds(fixedMoment());
    EXPECT_EQ(uploaded["entries"], json::array({{{"timestamp", now},
                                                 {"level", 2},
                                                 {"message", "first"},
                                                 {"fileName", "Main.swift"},
                                                 {"function", "run()"},
                                                 {"line", 12}},
                                                {{"timestamp", now},
                                                 {"level", 2},
                                                 {"message", "zweite Zeile ✓"},
                                                 {"fileName", "Other.swift"},
                                                 {"function", "go()"},
                                                 {"line", 7}}}));

    json device = uploaded["device"];
    EXPECT_EQ(device["uuid"], onQueue(*destination, [&] { return destination->uuid(); }));
    EXPECT_TRUE(std::regex_match(device["osVersion"].get<std::string>(),
                                 std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
    device.erase("uuid");
    device.erase("osVersion");
    EXPECT_EQ(device, (json{{"firstStart", now},
                            {"lastStart", now},
                            {"starts", 1},
                            {"userName", "ada"},
                            {"firstAppVersion", "2.5"},
                            {"appVersion", "2.5"},
                            {"firstAppBuild", 42},
                            {"appBuild", 42},
                            {"os", "OSX"},
                            {"deviceName", ""},
                            {"deviceModel", ""},
                            {"hostName", ""}}));

    // Accepted: nothing of the batch is left, and the points start again.
    EXPECT_FALSE(std::filesystem::exists(sendingFile()));
    EXPECT_FALSE(std::filesystem::exists(entriesFile()));
    EXPECT_EQ(onQueue(*destination, [&] { return destination->points(); }), 0);
}

TEST_F(PlatformDestinationTest, EntryLinesAndTheAnalyticsRecordOnDisk) {
    auto destination = make(std::nullopt);
    EXPECT_EQ(destination->entriesFileURL(), entriesFile());
    EXPECT_EQ(destination->sendingFileURL(), sendingFile());
    EXPECT_EQ(destination->analyticsFileURL(), analyticsFile());

    const std::string analytics = readFile(analyticsFile());
    ASSERT_EQ(analytics.find('\n'), analytics.size() - 1);
    EXPECT_EQ(json::parse(analytics)["uuid"], destination->uuid());
    EXPECT_EQ(std::filesystem::status(analyticsFile()).permissions() &
                  std::filesystem::perms::others_read,
              std::filesystem::perms::none);

    const auto line = log(*destination, LogLevel::warning, "disk \"full\"\n\xff");
    EXPECT_EQ(line,
              "{\"fileName\":\"Main.swift\",\"function\":\"run()\",\"level\":3,\"line\":12,"
              "\"message\":\"disk \\\"full\\\"\\n\xef\xbf\xbd\",\"thread\":\"worker\","
              "\"timestamp\":1767323045.678}");
    EXPECT_EQ(readFile(entriesFile()), *line + "\n");
    EXPECT_EQ(onQueue(*destination, [&] { return destination->points(); }), 8);
}

TEST_F(PlatformDestinationTest, PointsPerLevelAgainstTheThreshold) {
    struct Case {
        const char* name;
        SendingPoints points;
        std::vector<LogLevel> levels;
        bool startsBatch;
    };
    SendingPoints zeroThreshold;
    zeroThreshold.threshold = 0;
    SendingPoints highThreshold;
    highThreshold.threshold = 5000;
    SendingPoints verboseCounts;
    verboseCounts.verbose = 2;
    using L = LogLevel;
    const Case cases[] = {
        {"two info entries", {}, {L::info, L::info}, true},
        {"one info entry", {}, {L::info}, false},
        {"ten debug entries", {}, std::vector<L>(10, L::debug), true},
        {"nine debug entries", {}, std::vector<L>(9, L::debug), false},
        {"warning and debug", {}, {L::warning, L::debug, L::debug}, true},
        {"one error", {}, {L::error}, true},
        {"verbose earns nothing", {}, std::vector<L>(40, L::verbose), false},
        {"verbose raised", verboseCounts, std::vector<L>(5, L::verbose), true},
        {"threshold 0 still needs a point", zeroThreshold, std::vector<L>(5, L::verbose), false},
        {"threshold 0 and one point", zeroThreshold, {L::verbose, L::debug}, true},
        {"1000 points wait for 5000", highThreshold, std::vector<L>(100, L::error), false},
        {"above 1000 always sends", highThreshold, std::vector<L>(101, L::error), true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto dataHome = m_home / ("case" + std::to_string(index++));
        // Without a server a batch ends at once as not delivered, so it stays in the sending file.
        auto destination = makeAt(dataHome, std::nullopt);
        destination->setSendingPoints(c.points);
        std::int64_t expectedPoints = 0;
        for (const auto level : c.levels) {
            ASSERT_TRUE(log(*destination, level, "m"));
            expectedPoints += memberForLevel(c.points, level);
        }
        const auto sending = dataHome / "Host" / kFiles.sending;
        EXPECT_EQ(std::filesystem::exists(sending), c.startsBatch);
        EXPECT_EQ(onQueue(*destination, [&] { return destination->points(); }),
                  c.startsBatch ? 0 : expectedPoints);
        if (c.startsBatch) {
            EXPECT_EQ(fileMessages(sending).size(), c.levels.size());
        }
    }
}

TEST_F(PlatformDestinationTest, EntriesLeftFromAnEarlierRunGoOutWithTheFirstEntry) {
    struct Case {
        const char* name;
        std::optional<std::string> leftover;
        bool startsBatch;
        std::size_t unparsableLine;  // 0 for none
    };
    const Case cases[] = {
        {"one old entry and broken lines",
         "{\"message\":\"old\"}\n{not the end\n{\"a\":}\n[1]\n{}\n", true, 3},
        {"only broken lines", "{\"a\":}\n{}\n", false, 1},
        {"no file", std::nullopt, false, 0},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto dataHome = m_home / ("case" + std::to_string(index++));
        const auto entries = dataHome / "Host" / kFiles.entries;
        if (c.leftover) {
            writeFile(entries, *c.leftover);
        }
        DebugLogRecorder debugLog;
        auto destination = makeAt(dataHome, std::nullopt);
        destination->setShowNSLog(true);
        log(*destination, LogLevel::debug, "new");
        EXPECT_EQ(std::filesystem::exists(dataHome / "Host" / kFiles.sending), c.startsBatch);
        if (c.unparsableLine != 0) {
            // Only a line that looks like an object but is none is worth a word.
            EXPECT_TRUE(debugLog.contains("Error! Could not parse line " +
                                          std::to_string(c.unparsableLine) + " in file file://" +
                                          entries.string() + "."));
            EXPECT_FALSE(debugLog.contains("line 2"));
        }
        // The check is made once a run: a second entry below the threshold starts nothing.
        log(*destination, LogLevel::debug, "newer");
        EXPECT_EQ(std::filesystem::exists(dataHome / "Host" / kFiles.sending), c.startsBatch);
    }
}

TEST_F(PlatformDestinationTest, OnlyAnAnswerOf200DeletesTheBatch) {
    answerWith({500, 201, 204, 302});
    auto destination = make(serviceURL());
    const auto logTwo = [&](const std::string& first, const std::string& second) {
        log(*destination, LogLevel::info, first);
        log(*destination, LogLevel::info, second);
        ASSERT_TRUE(waitUntilIdle(*destination));
    };
    logTwo("a1", "a2");
    EXPECT_EQ(fileMessages(sendingFile()), (std::vector<std::string>{"a1", "a2"}));
    EXPECT_EQ(onQueue(*destination, [&] { return destination->points(); }), 0);

    // Each later batch sends the undelivered one first; newer entries wait.
    logTwo("b1", "b2");
    logTwo("b3", "b4");
    logTwo("b5", "b6");
    EXPECT_EQ(fileMessages(sendingFile()), (std::vector<std::string>{"a1", "a2"}));
    logTwo("b7", "b8");  // 200
    EXPECT_FALSE(std::filesystem::exists(sendingFile()));
    EXPECT_EQ(fileMessages(entriesFile()),
              (std::vector<std::string>{"b1", "b2", "b3", "b4", "b5", "b6", "b7", "b8"}));

    log(*destination, LogLevel::info, "c1");
    EXPECT_EQ(received().size(), 5u);
    log(*destination, LogLevel::info, "c2");
    ASSERT_TRUE(waitUntilIdle(*destination));
    EXPECT_FALSE(std::filesystem::exists(sendingFile()));
    EXPECT_FALSE(std::filesystem::exists(entriesFile()));

    const auto requests = received();
    ASSERT_EQ(requests.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(messages(document(requests[i])), (std::vector<std::string>{"a1", "a2"}));
    }
    EXPECT_EQ(
        messages(document(requests[5])),
        (std::vector<std::string>{"b1", "b2", "b3", "b4", "b5", "b6", "b7", "b8", "c1", "c2"}));
}

TEST_F(PlatformDestinationTest, NoAnswerKeepsTheBatch) {
    std::string refused;
    {
        testing::LoopbackHttpServer closed;
        closed.start();
        refused = closed.baseURL() + "api/entries/";
    }
    const std::optional<std::string> urls[] = {std::nullopt, refused};
    for (const auto& url : urls) {
        SCOPED_TRACE(url.value_or("no server URL"));
        std::filesystem::remove_all(folder());
        DebugLogRecorder debugLog;
        auto destination = make(url);
        destination->setShowNSLog(true);
        log(*destination, LogLevel::error, "kept");
        ASSERT_TRUE(waitUntilIdle(*destination));
        EXPECT_EQ(fileMessages(sendingFile()), std::vector<std::string>{"kept"});
        EXPECT_EQ(onQueue(*destination, [&] { return destination->points(); }), 0);
        EXPECT_TRUE(debugLog.contains("received ok: false"));
        if (url) {
            EXPECT_TRUE(debugLog.contains("Error! Could not send entries to server. "));
        }
    }
}

TEST_F(PlatformDestinationTest, KeyOfTheWrongLengthIsReportedAndNothingIsLost) {
    const std::string keys[] = {std::string(31, 'k'), std::string(33, 'k'),
                                "k3y-of-exactly-thirty-two-bytes\xc3\xa9"};
    for (const auto& key : keys) {
        SCOPED_TRACE(key.size());
        std::filesystem::remove_all(folder());
        auto destination = make(serviceURL(), key);
        ::testing::internal::CaptureStdout();
        for (const auto* message : {"a1", "a2", "b1", "b2", "b3", "b4"}) {
            log(*destination, LogLevel::info, message);
        }
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_FALSE(onQueue(*destination, [&] { return destination->sendingInProgress(); }));
        EXPECT_EQ(fileMessages(sendingFile()), (std::vector<std::string>{"a1", "a2"}));
        EXPECT_EQ(fileMessages(entriesFile()), (std::vector<std::string>{"b1", "b2", "b3", "b4"}));
        // Said once, with the length that was given.
        const std::string report = "could not encrypt log entries: the encryption key is " +
                                   std::to_string(key.size()) + " bytes long";
        const auto first = printed.find(report);
        EXPECT_NE(first, std::string::npos) << printed;
        EXPECT_EQ(printed.find(report, first + 1), std::string::npos) << printed;
    }
    EXPECT_TRUE(received().empty());

    // The right key sends the kept batch first.
    auto destination = make(serviceURL());
    log(*destination, LogLevel::info, "c1");
    log(*destination, LogLevel::info, "c2");
    ASSERT_TRUE(waitUntilIdle(*destination));
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(messages(document(received()[0])), (std::vector<std::string>{"a1", "a2"}));
}

TEST_F(PlatformDestinationTest, AnAnswerDeletesOnlyTheFileItsBatchCameFrom) {
    m_beforeAnswer = [this] { writeFile(sendingFile(), "{\"message\":\"replaced\"}\n"); };
    auto destination = make(serviceURL());
    log(*destination, LogLevel::error, "sent");
    ASSERT_TRUE(waitUntilIdle(*destination));
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(fileMessages(sendingFile()), std::vector<std::string>{"replaced"});
}

TEST_F(PlatformDestinationTest, AnAnswerAfterTheDestinationIsGoneIsDropped) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    m_beforeAnswer = [released] { released.wait(); };
    std::weak_ptr<HTTPSession> session;
    auto services = this->services(m_home / "share");
    services.makeSession = [&](std::shared_ptr<DispatchQueue> queue) {
        auto made = std::make_shared<HTTPSession>(std::move(queue));
        session = made;
        return made;
    };
    auto destination = std::make_shared<LHPlatformDestination>(
        "app-id", "s3cret", std::string(kKey), serviceURL(), kFiles, std::move(services));
    log(*destination, LogLevel::error, "in flight");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received().empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(received().size(), 1u);

    destination.reset();
    release.set_value();
    // The session lives until its answer has been handled, by nobody.
    while (!session.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(session.expired());
    EXPECT_EQ(fileMessages(sendingFile()), std::vector<std::string>{"in flight"});
}

TEST_F(PlatformDestinationTest, ABatchWithoutEntriesIsSetAsideSoLaterOnesFlow) {
    writeFile(sendingFile(), "garbage\n{\"a\":}\n");
    auto destination = make(serviceURL());
    log(*destination, LogLevel::error, "e1");
    EXPECT_FALSE(std::filesystem::exists(sendingFile()));
    EXPECT_EQ(readFile(folder() / (kFiles.sending + ".corrupt")), "garbage\n{\"a\":}\n");
    log(*destination, LogLevel::error, "e2");
    ASSERT_TRUE(waitUntilIdle(*destination));
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(messages(document(received()[0])), (std::vector<std::string>{"e1", "e2"}));
}

TEST_F(PlatformDestinationTest, AnEntryAfterATornLineStartsALineOfItsOwn) {
    writeFile(entriesFile(), "{\"message\":\"old\"}\n{\"message\":\"cut sh");
    auto destination = make(std::nullopt);
    const auto line = log(*destination, LogLevel::debug, "new");
    ASSERT_TRUE(line);
    // The two whole entries make a batch; the torn piece stays, on a line of its own.
    EXPECT_EQ(readFile(sendingFile()),
              "{\"message\":\"old\"}\n{\"message\":\"cut sh\n" + *line + "\n");
}

TEST_F(PlatformDestinationTest, AnalyticsRecordCountsStartsAcrossRuns) {
    const auto start = fixedMoment();
    std::string firstUUID;
    for (int run = 0; run < 3; ++run) {
        m_clock.set(start + std::chrono::hours(run));
        if (run == 2) {
            m_bundle = m_home / "Host3.app";
            writeBundle(m_bundle, "3.0", "+7");
        }
        auto destination = make(std::nullopt);
        if (run == 0) {
            firstUUID = destination->uuid();
        }
        EXPECT_EQ(destination->uuid(), firstUUID);
    }
    const json record = json::parse(readFile(analyticsFile()));
    EXPECT_EQ(record, (json{{"uuid", firstUUID},
                            {"firstStart", seconds(start)},
                            {"lastStart", seconds(start + std::chrono::hours(2))},
                            {"starts", 3},
                            {"userName", ""},
                            {"firstAppVersion", "2.5"},
                            {"appVersion", "3.0"},
                            {"firstAppBuild", 42},
                            {"appBuild", 7}}));
}

TEST_F(PlatformDestinationTest, StoredRecordOfTheWrongShapeStartsAgain) {
    struct Case {
        const char* name;
        std::string stored;
        std::int64_t starts;
    };
    const Case cases[] = {
        {"starts as text", R"({"uuid":"U","starts":"3"})", 1},
        {"starts at the largest integer", R"({"uuid":"U","starts":9223372036854775807})",
         std::numeric_limits<std::int64_t>::max()},
        {"starts beyond any integer", R"({"uuid":"U","starts":18446744073709551615})", 1},
        {"starts negative", R"({"uuid":"U","starts":-4})", -3},
        {"not JSON", "starts: 3", 1},
        {"an array", "[1,2]", 1},
        {"nested without end", std::string(100000, '['), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(analyticsFile(), c.stored);
        auto destination = make(std::nullopt);
        const json record = json::parse(readFile(analyticsFile()));
        EXPECT_EQ(record["starts"], c.starts);
        EXPECT_EQ(record["uuid"] == "U", c.stored.find("\"U\"") != std::string::npos);
    }
}

TEST_F(PlatformDestinationTest, UserNameOfTheRecord) {
    auto destination = make(std::nullopt);
    const auto upload = [&] { return destination->analyticsRecord(false)["userName"]; };
    EXPECT_EQ(upload(), "");
    destination->setAnalyticsUserName("ada");
    EXPECT_EQ(upload(), "ada");  // nothing stored yet
    ASSERT_TRUE(destination->writeJSONObject(destination->analyticsRecord(true), analyticsFile()));
    destination->setAnalyticsUserName("bob");
    EXPECT_EQ(upload(), "ada");                                        // the stored name holds
    EXPECT_EQ(destination->analyticsRecord(true)["userName"], "bob");  // a start takes the new one
}

TEST_F(PlatformDestinationTest, WithoutAnApplicationSupportFolderNothingIsWritten) {
    auto services = this->services(m_home / "unused");
    services.directories = StandardDirectories(
        [](const std::string&) -> std::optional<std::string> { return std::nullopt; });
    auto destination = std::make_shared<LHPlatformDestination>("a", "s", std::string(kKey),
                                                               serviceURL(), kFiles, services);
    EXPECT_TRUE(destination->entriesFileURL().empty());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(log(*destination, LogLevel::error, "nowhere"));
    }
    EXPECT_FALSE(onQueue(*destination, [&] { return destination->sendingInProgress(); }));
    EXPECT_TRUE(received().empty());
}

TEST_F(PlatformDestinationTest, FolderThatCannotBeMadeLeavesTheFilesInApplicationSupport) {
    writeFile(m_home / "share" / "Host", "a file where the folder would be");
    ::testing::internal::CaptureStdout();
    auto destination = make(std::nullopt);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Warning! Could not create folder ~/Library/Application Support/Host.\n");
    EXPECT_EQ(destination->entriesFileURL(), m_home / "share" / kFiles.entries);
    EXPECT_TRUE(std::filesystem::exists(m_home / "share" / kFiles.analytics));
}

TEST_F(PlatformDestinationTest, BuildNumberReadsOnlyAWholeDecimalInteger) {
    const std::pair<const char*, std::int64_t> builds[] = {
        {"42", 42},
        {"+7", 7},
        {"-3", -3},
        {"", 0},
        {"1.2", 0},
        {"12a", 0},
        {"-", 0},
        {" 4", 0},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", 0},
    };
    for (const auto& [text, expected] : builds) {
        SCOPED_TRACE(text);
        m_bundle = m_home / ("B" + std::string(text) + ".app");
        writeBundle(m_bundle, "1", text);
        std::filesystem::remove_all(folder());
        EXPECT_EQ(make(std::nullopt)->appBuildNumber(), expected);
    }
}

}  // namespace
}  // namespace tarnwick
