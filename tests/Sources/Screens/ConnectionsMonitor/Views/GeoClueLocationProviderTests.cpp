#include "Screens/ConnectionsMonitor/Views/GeoClueLocationProvider.h"
#include "support/PrivateBus.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Status = LocationProvider::AuthorizationStatus;

const QString kClientPath = QStringLiteral("/org/freedesktop/GeoClue2/Client/1");
const QString kLocationPath = QStringLiteral("/org/freedesktop/GeoClue2/Location/1");

// The location service: hands out one client, takes its desktop id, starts it or refuses, and
// describes one location.
class FakeGeoClue : public QDBusVirtualObject {
public:
    explicit FakeGeoClue(bool allowing) : allows(allowing) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls.push_back(message.member());
        QDBusMessage reply;
        if (message.member() == QLatin1String("GetClient")) {
            reply = message.createReply(QVariant::fromValue(QDBusObjectPath(kClientPath)));
        } else if (message.member() == QLatin1String("Set")) {
            const QVariantList arguments = message.arguments();
            if (arguments.value(1).toString() == QLatin1String("DesktopId")) {
                desktopId = qvariant_cast<QDBusVariant>(arguments.value(2)).variant().toString();
            }
            reply = message.createReply();
        } else if (message.member() == QLatin1String("Start")) {
            reply = allows ? message.createReply()
                           : message.createErrorReply(
                                 QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                 QStringLiteral("not allowed"));
            active = allows;
        } else if (message.member() == QLatin1String("Get") &&
                   message.arguments().value(1).toString() == QLatin1String("Active")) {
            reply = message.createReply(QVariant::fromValue(QDBusVariant(active)));
        } else if (message.member() == QLatin1String("GetAll")) {
            QVariantMap properties{{QStringLiteral("Latitude"), latitude},
                                   {QStringLiteral("Longitude"), 13.4}};
            reply = message.createReply(QVariant::fromValue(properties));
        } else {
            return false;
        }
        connection.send(reply);
        return true;
    }
    static void moveTo(const QDBusConnection& connection) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kClientPath, QStringLiteral("org.freedesktop.GeoClue2.Client"),
            QStringLiteral("LocationUpdated"));
        signal << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))
               << QVariant::fromValue(QDBusObjectPath(kLocationPath));
        connection.send(signal);
    }

    QStringList calls;
    QString desktopId;
    double latitude = 52.5;
    // Whether Start succeeds; the agent's answer.
    bool allows;
    // Whether the started client still runs; the agent stops it when the permission goes.
    bool active = false;
};

class GeoClueLocationProviderTest : public testing::PrivateBusTest {
protected:
    QDBusConnection startService(FakeGeoClue& service) {
        QDBusConnection connection = serviceConnection();
        EXPECT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.GeoClue2")));
        EXPECT_TRUE(connection.registerVirtualObject(QStringLiteral("/org/freedesktop/GeoClue2"),
                                                     &service, QDBusConnection::SubPath));
        return connection;
    }
    // Asks for permission and returns what the provider settled on.
    std::optional<Status> request(GeoClueLocationProvider& provider) {
        std::optional<Status> settled;
        provider.setDelegate({[&](Status status) { settled = status; },
                              [&](const auto& updated) {
                                  locations.insert(locations.end(), updated.begin(), updated.end());
                              }});
        provider.requestWhenInUseAuthorization();
        (void)QTest::qWaitFor([&] { return settled.has_value(); }, 15000);  // checked by caller
        return settled;
    }

    // Asks the service something and waits for its answer.
    bool roundTrip() {
        QDBusMessage question = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.GeoClue2"), kClientPath,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        question << QStringLiteral("org.freedesktop.GeoClue2.Client") << QStringLiteral("Active");
        QDBusPendingCallWatcher watcher(m_client.asyncCall(question));
        // The watcher's signal, not isFinished(): the answer is in once the main thread has taken
        // it from its queue, behind the signals that came before it.
        bool answered = false;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
        return QTest::qWaitFor([&] { return answered; }, 10000);
    }

    std::vector<MapCoordinator::Coordinates> locations;
};

TEST_F(GeoClueLocationProviderTest, AStartedClientIsAllowedAndReportsItsPositions) {
    FakeGeoClue service(true);
    const QDBusConnection serviceBus = startService(service);
    // The agent knows the application by its installed desktop file.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Installed"));
    GeoClueLocationProvider provider(m_client);

    EXPECT_EQ(request(provider), Status::authorizedAlways);
    EXPECT_EQ(provider.authorizationStatus(), Status::authorizedAlways);
    EXPECT_EQ(service.desktopId, QStringLiteral("org.example.Installed"));
    ASSERT_GE(service.calls.size(), 3);
    EXPECT_EQ(service.calls.front(), QStringLiteral("GetClient"));
    EXPECT_EQ(service.calls.back(), QStringLiteral("Start"));

    // Positions reach the delegate only once updates were asked for, and only real ones.
    // The bus keeps one sender's messages in order: an answer the service sends after a signal
    // reaches the application after it, and once the last position arrives the earlier signals
    // were handled; had either been passed on, there would be more than one.
    FakeGeoClue::moveTo(serviceBus);
    ASSERT_TRUE(roundTrip());
    provider.startUpdatingLocation();
    const auto reads = [&] { return service.calls.count(QStringLiteral("GetAll")); };
    const qsizetype readsBefore = reads();
    service.latitude = 123.0;  // off the globe
    FakeGeoClue::moveTo(serviceBus);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() > readsBefore; }, 10000));
    service.latitude = 52.5;
    FakeGeoClue::moveTo(serviceBus);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !locations.empty(); }, 10000));
    EXPECT_EQ(locations, (std::vector<MapCoordinator::Coordinates>{{52.5, 13.4}}));
}

// A refusal comes from a service that is there; no service or no bus is a desktop without one.
TEST_F(GeoClueLocationProviderTest, ARefusalNoServiceOrNoBusIsDenied) {
    {
        FakeGeoClue refusing(false);
        startService(refusing);
        GeoClueLocationProvider provider(m_client);
        EXPECT_EQ(request(provider), Status::denied);
        EXPECT_TRUE(provider.hasLocationService());
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }
    {
        GeoClueLocationProvider provider(m_client, QStringLiteral("tarnwick"), 2000ms);
        EXPECT_EQ(request(provider), Status::denied);
        EXPECT_FALSE(provider.hasLocationService());
    }
    {
        const QDBusConnection nowhere = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
        GeoClueLocationProvider provider(nowhere);
        EXPECT_EQ(request(provider), Status::denied);
        EXPECT_FALSE(provider.hasLocationService());
        QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
    }
}

// Asking again: nothing before the first request, a stopped client is a withdrawn permission,
// and a refused one is asked for afresh, so a permission given in the settings is found.
TEST_F(GeoClueLocationProviderTest, ARefreshFollowsThePermissionTheAgentHolds) {
    FakeGeoClue service(true);
    startService(service);
    GeoClueLocationProvider provider(m_client);
    std::vector<Status> changes;
    provider.setDelegate({[&](Status status) { changes.push_back(status); }, {}});
    const auto refresh = [&] {
        bool done = false;
        provider.refreshAuthorization([&] { done = true; });
        return QTest::qWaitFor([&] { return done; }, 15000);
    };

    ASSERT_TRUE(refresh());
    EXPECT_TRUE(service.calls.isEmpty());
    EXPECT_EQ(provider.authorizationStatus(), Status::notDetermined);

    provider.requestWhenInUseAuthorization();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !changes.empty(); }, 15000));
    ASSERT_EQ(provider.authorizationStatus(), Status::authorizedAlways);
    ASSERT_TRUE(refresh());
    EXPECT_EQ(provider.authorizationStatus(), Status::authorizedAlways);
    EXPECT_EQ(changes.size(), 1u);

    service.active = false;
    service.allows = false;
    ASSERT_TRUE(refresh());
    EXPECT_EQ(provider.authorizationStatus(), Status::denied);
    ASSERT_TRUE(refresh());
    EXPECT_EQ(provider.authorizationStatus(), Status::denied);

    service.allows = true;
    ASSERT_TRUE(refresh());
    EXPECT_EQ(provider.authorizationStatus(), Status::authorizedAlways);
    EXPECT_EQ(changes, (std::vector{Status::authorizedAlways, Status::denied, Status::denied,
                                    Status::authorizedAlways}));
}

}  // namespace
}  // namespace tarnwick
