#include "Combine/PassthroughSubject.h"
#include "QtSupport/PublisherBinding.h"

#include <QCoreApplication>
#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace tarnwick {
namespace {

struct Heard {
    std::vector<int> values;
    bool allOnMain = true;
};

void listen(PassthroughSubject<int>& subject, QObject* receiver, Heard& heard) {
    bindPublisher(subject.publisher(), receiver, [&heard](int value) {
        heard.allOnMain = heard.allOnMain && isMainThread();
        heard.values.push_back(value);
    });
}

TEST(PublisherBinding, DeliversOnTheMainThreadInPlaceOrPosted) {
    PassthroughSubject<int> subject;
    QObject receiver;
    Heard heard;
    listen(subject, &receiver, heard);

    subject.send(1);
    EXPECT_EQ(heard.values, std::vector<int>{1})
        << "a value sent on the main thread arrives at once";
    std::thread([&] { subject.send(2); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.values.size() == 2; }));
    EXPECT_EQ(heard.values, (std::vector<int>{1, 2}));
    EXPECT_TRUE(heard.allOnMain);
}

TEST(PublisherBinding, GoneReceiverHearsNothingMoreAndEndsItsSubscription) {
    PassthroughSubject<int> subject;
    Heard heard;
    auto receiver = std::make_unique<QObject>();
    listen(subject, receiver.get(), heard);

    // Posted while the receiver lives, run after it is gone: dropped.
    std::thread([&] { subject.send(1); }).join();
    receiver.reset();
    QCoreApplication::processEvents();
    subject.send(2);
    std::thread([&] { subject.send(3); }).join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(heard.values.empty());
}

}  // namespace
}  // namespace tarnwick
