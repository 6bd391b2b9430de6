#include "Dispatch/DispatchQueue.h"
#include "Logging/Filters.h"
#include "LoggingTestSupport.h"

#include <atomic>
#include <thread>

namespace tarnwick {
namespace {

using testing::LogHubTest;
using testing::RecordingDestination;

TEST_F(LogHubTest, WithNoDestinationNothingIsEvaluated) {
    int evaluations = 0;
    LogHub::error([&] {
        ++evaluations;
        return "never";
    });
    LogHub::custom(LogLevel::error, [&] { return std::string(++evaluations, 'x'); }, "f", "g", 1,
                   {});
    EXPECT_EQ(evaluations, 0);
    EXPECT_TRUE(LogHub::flush(0));
}

TEST_F(LogHubTest, MembershipIsByIdentity) {
    auto first = std::make_shared<RecordingDestination>();
    auto second = std::make_shared<RecordingDestination>();
    EXPECT_TRUE(LogHub::addDestination(first));
    EXPECT_FALSE(LogHub::addDestination(first));
    EXPECT_TRUE(LogHub::addDestination(second));
    EXPECT_EQ(LogHub::countDestinations(), 2u);

    LogHub::info("to both");
    ASSERT_TRUE(LogHub::flush(5));
    EXPECT_EQ(first->entries().size(), 1u);
    EXPECT_EQ(second->entries().size(), 1u);

    EXPECT_TRUE(LogHub::removeDestination(first));
    EXPECT_FALSE(LogHub::removeDestination(first));
    EXPECT_EQ(LogHub::countDestinations(), 1u);
}

TEST_F(LogHubTest, AnEntryBelowEveryMinimumIsNeverEvaluatedNorSent) {
    auto destination = std::make_shared<RecordingDestination>();
    destination->setMinLevel(LogLevel::info);
    LogHub::addDestination(destination);
    int evaluations = 0;
    LogHub::debug([&] {
        ++evaluations;
        return "hidden";
    });
    ASSERT_TRUE(LogHub::flush(5));
    EXPECT_EQ(evaluations, 0);
    EXPECT_TRUE(destination->entries().empty());

    // Lowering the minimum after registration takes effect at once.
    destination->setMinLevel(LogLevel::debug);
    LogHub::debug("shown");
    ASSERT_TRUE(LogHub::flush(5));
    EXPECT_EQ(destination->entries().size(), 1u);
}

TEST_F(LogHubTest, MessageIsEvaluatedOncePerAcceptingDestinationWithoutFilters) {
    LogHub::addDestination(std::make_shared<RecordingDestination>());
    LogHub::addDestination(std::make_shared<RecordingDestination>());
    std::atomic<int> evaluations{0};
    LogHub::info([&] {
        ++evaluations;
        return "twice";
    });
    EXPECT_EQ(evaluations, 2);
}

TEST_F(LogHubTest, AMessageFilterResolvesTheTextOnceForEveryLaterDestination) {
    auto filtered = std::make_shared<RecordingDestination>();
    filtered->addFilter(Filters::Message::contains({"disk"}));
    LogHub::addDestination(filtered);
    LogHub::addDestination(std::make_shared<RecordingDestination>());
    std::atomic<int> evaluations{0};
    LogHub::info([&] {
        ++evaluations;
        return "disk full";
    });
    EXPECT_EQ(evaluations, 1);
}

TEST_F(LogHubTest, SendGetsTheShortenedFunctionAndTheCallSite) {
    auto destination = std::make_shared<RecordingDestination>();
    LogHub::addDestination(destination);
    const std::pair<const char*, const char*> functions[] = {
        {"debug(_:contextType:)", "debug()"},
        {"bare", "bare()"},
        {"run()", "run()"},
        {"void tarnwick::Scanner::scan(int, bool)", "tarnwick::Scanner::scan()"},
    };
    for (const auto& [function, shortened] : functions) {
        LogHub::info("m", "/src/File.cpp", function, 12);
    }
    LogHub::warning("here");
    const long callLine = __LINE__ - 1;
    ASSERT_TRUE(LogHub::flush(5));
    const auto entries = destination->entries();
    ASSERT_EQ(entries.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].function, functions[i].second);
        EXPECT_EQ(entries[i].file, "/src/File.cpp");
        EXPECT_EQ(entries[i].line, 12);
    }
    EXPECT_EQ(entries[4].line, callLine);
    EXPECT_NE(entries[4].file.find("LogHubTests.cpp"), std::string::npos);
    EXPECT_EQ(entries[4].level, LogLevel::warning);
}

TEST_F(LogHubTest, ThreadNamesTheMainThreadTheQueueOrTheThread) {
    auto destination = std::make_shared<RecordingDestination>();
    LogHub::addDestination(destination);
    LogHub::info("main");
    auto queue = DispatchQueue::create("com.example.worker");
    // A sync from the main thread runs on the main thread, so the queue gets the block async.
    queue->async([] { LogHub::info("queue"); });
    queue->sync([] {});
    std::thread([] { LogHub::info("thread"); }).join();
    ASSERT_TRUE(LogHub::flush(5));
    const auto entries = destination->entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].thread, "");
    EXPECT_EQ(entries[1].thread, "com.example.worker");
    EXPECT_FALSE(entries[2].thread.empty());
}

// A context whose description logs and flushes, on the queue that renders it.
struct Talker {};
std::ostream& operator<<(std::ostream& out, const Talker&) {
    LogHub::info("from inside");
    EXPECT_TRUE(LogHub::flush(1));
    return out << "talker";
}

TEST_F(LogHubTest, LoggingFromASynchronousDestinationsOwnQueueDoesNotDeadlock) {
    auto destination = std::make_shared<RecordingDestination>();
    destination->setAsynchronously(false);
    destination->setFormat("$M $X");
    LogHub::addDestination(destination);

    LogHub::info("outer", LogValue::describing(Talker{}));

    const auto entries = destination->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "from inside");
    EXPECT_EQ(entries[1].text, "outer talker");
}

TEST_F(LogHubTest, DestinationsMayChangeWhileOtherThreadsLog) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int i = 0; i < 4; ++i) {
        loggers.emplace_back([&] {
            while (!stop) {
                LogHub::info("busy");
            }
        });
    }
    for (int round = 0; round < 200; ++round) {
        auto destination = std::make_shared<RecordingDestination>();
        LogHub::addDestination(destination);
        LogHub::removeDestination(destination);
    }
    stop = true;
    for (auto& logger : loggers) {
        logger.join();
    }
    EXPECT_EQ(LogHub::countDestinations(), 0u);
}

TEST_F(LogHubTest, FiltersMayChangeWhileOtherThreadsLog) {
    auto destination = std::make_shared<RecordingDestination>();
    ASSERT_TRUE(LogHub::addDestination(destination));
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int i = 0; i < 3; ++i) {
        loggers.emplace_back([&] {
            while (!stop) {
                LogHub::info("disk busy");
            }
        });
    }
    for (int round = 0; round < 200; ++round) {
        auto filter = Filters::Message::contains({"disk"});
        destination->addFilter(filter);
        destination->removeFilter(filter);
    }
    // Entries logged once an excluding filter is in place never arrive.
    destination->addFilter(Filters::Message::excludes({"disk"}));
    stop = true;
    for (auto& logger : loggers) {
        logger.join();
    }
    ASSERT_TRUE(LogHub::flush(5));
    const auto before = destination->entries().size();
    LogHub::info("disk full");
    ASSERT_TRUE(LogHub::flush(5));
    EXPECT_EQ(destination->entries().size(), before);
    EXPECT_EQ(destination->filters().size(), 1u);
}

TEST_F(LogHubTest, TheQueueOfARegisteredDestinationStays) {
    auto destination = std::make_shared<RecordingDestination>();
    auto queue = DispatchQueue::create("before registration");
    EXPECT_TRUE(destination->setQueue(queue).ok());
    ASSERT_TRUE(LogHub::addDestination(destination));
    const auto refused = destination->setQueue(DispatchQueue::create("after registration"));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), "The queue of a destination cannot change once it is registered");
    EXPECT_EQ(destination->queue(), queue);
}

TEST(LogLevel, RawValuesZeroToFourOnly) {
    EXPECT_EQ(logLevelFromRawValue(0), LogLevel::verbose);
    EXPECT_EQ(logLevelFromRawValue(4), LogLevel::error);
    EXPECT_EQ(logLevelFromRawValue(5), std::nullopt);
    EXPECT_EQ(logLevelFromRawValue(-1), std::nullopt);
    EXPECT_TRUE(reaches(LogLevel::warning, LogLevel::info));
    EXPECT_FALSE(reaches(LogLevel::debug, LogLevel::info));
}

}  // namespace
}  // namespace tarnwick
