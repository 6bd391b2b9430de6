#include "UserNotifications/DesktopNotifications.h"
#include "support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// The notification service: records each Notify call and answers it, or never answers.
class FakeNotificationService : public QDBusVirtualObject {
public:
    explicit FakeNotificationService(bool answers) : m_answers(answers) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify")) {
            return false;
        }
        calls.push_back(message.arguments());
        if (m_answers) {
            connection.send(message.createReply(QVariant::fromValue(quint32(calls.size()))));
        }
        return true;
    }
    std::vector<QVariantList> calls;

private:
    bool m_answers;
};

class DesktopNotificationsTest : public testing::PrivateBusTest {
protected:
    void startService(FakeNotificationService& service) {
        QDBusConnection connection = serviceConnection();
        ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(connection.registerVirtualObject(
            QStringLiteral("/org/freedesktop/Notifications"), &service));
    }
    // Posts and waits for the answer.
    std::optional<std::optional<std::string>> post(
        const DesktopNotifications& notifications,
        DesktopNotifications::Notification notification) {
        std::optional<std::optional<std::string>> answer;
        notifications.post(notification, [&](const auto& error) { answer = error; });
        (void)QTest::qWaitFor([&] { return answer.has_value(); }, 10000);  // checked by the caller
        return answer;
    }
};

TEST_F(DesktopNotificationsTest, TheServiceGetsTheSummaryAndBodyUnderOurName) {
    FakeNotificationService service(true);
    startService(service);
    const DesktopNotifications notifications(m_client);

    const auto answer = post(notifications, {"Connection blocked", "example.ru\nRussia", 0ms});
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, std::nullopt);
    ASSERT_EQ(service.calls.size(), 1u);
    const QVariantList& arguments = service.calls[0];
    ASSERT_EQ(arguments.size(), 8);
    EXPECT_EQ(arguments[0].toString(), QStringLiteral("Tarnwick"));
    EXPECT_EQ(arguments[3].toString(), QStringLiteral("Connection blocked"));
    EXPECT_EQ(arguments[4].toString(), QStringLiteral("example.ru\nRussia"));

    // The body is plain text; the service may read markup, so what looks like it is escaped.
    ASSERT_TRUE(post(notifications, {"Connection to <b>x</b>", "<i>a&b</i>.ru\nRussia", 0ms}));
    ASSERT_EQ(service.calls.size(), 2u);
    EXPECT_EQ(service.calls[1][4].toString(),
              QStringLiteral("&lt;i&gt;a&amp;b&lt;/i&gt;.ru\nRussia"));
    service.calls.pop_back();

    // A delayed one is not sent before its time: its answer, which comes after the service
    // has it, comes no sooner.
    std::optional<std::optional<std::string>> delayed;
    std::chrono::steady_clock::duration answeredAfter{};
    const auto posted = std::chrono::steady_clock::now();
    notifications.post({"Later", "", 300ms}, [&](const auto& error) {
        answeredAfter = std::chrono::steady_clock::now() - posted;
        delayed = error;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return delayed.has_value(); }, 10000));
    EXPECT_GE(answeredAfter, 300ms);
    EXPECT_EQ(service.calls.size(), 2u);
}

TEST_F(DesktopNotificationsTest, AMissingHungOrUnreachableServiceIsAnError) {
    {
        const auto answer = post(DesktopNotifications(m_client), {"Nobody listens", "", 0ms});
        ASSERT_TRUE(answer && *answer);
        EXPECT_NE((*answer)->find("ServiceUnknown"), std::string::npos) << **answer;
    }
    {
        FakeNotificationService silent(false);
        startService(silent);
        const auto answer =
            post(DesktopNotifications(m_client, "Tarnwick", 300ms), {"Nobody answers", "", 0ms});
        ASSERT_TRUE(answer && *answer);
        EXPECT_EQ(silent.calls.size(), 1u);
    }
    {
        const QDBusConnection nowhere = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
        const auto answer = post(DesktopNotifications(nowhere), {"No bus", "", 0ms});
        QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
        ASSERT_TRUE(answer && *answer);
        EXPECT_EQ((*answer)->rfind("no session bus", 0), 0u) << **answer;
    }
}

}  // namespace
}  // namespace tarnwick
