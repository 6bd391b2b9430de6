#include "Screens/ConnectionsMonitor/Views/GeoClueLocationProvider.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <utility>

namespace tarnwick {

namespace {

const QString kService = QStringLiteral("org.freedesktop.GeoClue2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString kClientInterface = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString kLocationInterface = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAccessDenied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");

// City-level accuracy is all the map needs.
constexpr quint32 kAccuracyCity = 4;

}  // namespace

GeoClueLocationProvider::GeoClueLocationProvider(QDBusConnection bus, QString desktopId,
                                                 std::chrono::milliseconds callTimeout)
    : m_bus(std::move(bus))
    , m_desktopId(desktopId.isEmpty() ? QGuiApplication::desktopFileName() : std::move(desktopId))
    , m_callTimeout(callTimeout) {}

void GeoClueLocationProvider::call(const QString& path, const QString& interface,
                                   const QString& method, const QVariantList& arguments,
                                   std::function<void(const QDBusMessage& reply)> onReply) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(message, static_cast<int>(m_callTimeout.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [onReply = std::move(onReply)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                onReply(finished->reply());
            });
}

void GeoClueLocationProvider::requestWhenInUseAuthorization() {
    if (m_requesting || m_status == AuthorizationStatus::authorizedAlways) {
        return;
    }
    requestClient();
}

void GeoClueLocationProvider::requestClient() {
    if (!m_bus.isConnected()) {
        m_hasService = false;
        m_requesting = true;
        // Answered later, as the service would be: the caller is still setting up.
        QMetaObject::invokeMethod(
            this, [this] { settle(AuthorizationStatus::denied); }, Qt::QueuedConnection);
        return;
    }
    m_requesting = true;
    call(kManagerPath, kManagerInterface, QStringLiteral("GetClient"), {},
         [this](const QDBusMessage& reply) {
             const QVariantList values = reply.arguments();
             if (reply.type() != QDBusMessage::ReplyMessage || values.isEmpty()) {
                 // Only a refusal says that a service is there; anything else (no such name, no
                 // answer) is a desktop without one.
                 m_hasService = reply.errorName() == kAccessDenied;
                 settle(AuthorizationStatus::denied);
                 return;
             }
             m_hasService = true;
             m_clientPath = qvariant_cast<QDBusObjectPath>(values.first()).path();
             if (m_clientPath.isEmpty()) {
                 settle(AuthorizationStatus::denied);
                 return;
             }
             setClientProperty();
         });
}

void GeoClueLocationProvider::refreshAuthorization(std::function<void()> done) {
    if (m_requesting) {
        m_afterSettling.push_back(std::move(done));
        return;
    }
    switch (m_status) {
        case AuthorizationStatus::notDetermined:
            // Nobody asked yet: asking now would put the service's question to the user unasked.
            done();
            return;
        case AuthorizationStatus::authorizedAlways:
        case AuthorizationStatus::authorizedWhenInUse: {
            // The agent stops a client whose permission the user withdrew.
            m_requesting = true;
            m_afterSettling.push_back(std::move(done));
            call(m_clientPath, kPropertiesInterface, QStringLiteral("Get"),
                 {kClientInterface, QStringLiteral("Active")}, [this](const QDBusMessage& reply) {
                     const bool active =
                         reply.type() == QDBusMessage::ReplyMessage &&
                         !reply.arguments().isEmpty() &&
                         qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
                     if (active) {
                         m_requesting = false;
                         runAfterSettling();
                         return;
                     }
                     m_clientPath.clear();
                     settle(AuthorizationStatus::denied);
                 });
            return;
        }
        case AuthorizationStatus::restricted:
        case AuthorizationStatus::denied:
            // A permission given in the settings meanwhile shows only by asking again.
            m_afterSettling.push_back(std::move(done));
            requestClient();
            return;
    }
}

void GeoClueLocationProvider::setClientProperty() {
    // The service grants or refuses by the desktop file it is told, and wants it before Start.
    call(m_clientPath, kPropertiesInterface, QStringLiteral("Set"),
         {kClientInterface, QStringLiteral("DesktopId"),
          QVariant::fromValue(QDBusVariant(m_desktopId))},
         [this](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage) {
                 settle(AuthorizationStatus::denied);
                 return;
             }
             call(m_clientPath, kPropertiesInterface, QStringLiteral("Set"),
                  {kClientInterface, QStringLiteral("RequestedAccuracyLevel"),
                   QVariant::fromValue(QDBusVariant(kAccuracyCity))},
                  [this](const QDBusMessage&) { startClient(); });
         });
}

void GeoClueLocationProvider::startClient() {
    m_bus.connect(kService, m_clientPath, kClientInterface, QStringLiteral("LocationUpdated"), this,
                  SLOT(locationUpdated(QDBusObjectPath, QDBusObjectPath)));
    call(m_clientPath, kClientInterface, QStringLiteral("Start"), {},
         [this](const QDBusMessage& reply) {
             settle(reply.type() == QDBusMessage::ReplyMessage
                        ? AuthorizationStatus::authorizedAlways
                        : AuthorizationStatus::denied);
         });
}

void GeoClueLocationProvider::settle(AuthorizationStatus status) {
    m_requesting = false;
    m_status = status;
    if (m_delegate.didChangeAuthorization) {
        m_delegate.didChangeAuthorization(status);
    }
    runAfterSettling();
}

void GeoClueLocationProvider::runAfterSettling() {
    for (auto& done : std::exchange(m_afterSettling, {})) {
        if (done) {
            done();
        }
    }
}

void GeoClueLocationProvider::startUpdatingLocation() {
    m_wantsUpdates = true;
}

void GeoClueLocationProvider::locationUpdated(const QDBusObjectPath&,
                                              const QDBusObjectPath& current) {
    if (!m_wantsUpdates || current.path().isEmpty()) {
        return;
    }
    call(current.path(), kPropertiesInterface, QStringLiteral("GetAll"), {kLocationInterface},
         [this](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                 return;
             }
             const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().first());
             bool latitudeOK = false;
             bool longitudeOK = false;
             const double latitude =
                 properties.value(QStringLiteral("Latitude")).toDouble(&latitudeOK);
             const double longitude =
                 properties.value(QStringLiteral("Longitude")).toDouble(&longitudeOK);
             // A position off the globe is the service's fault, not a place to show.
             if (!latitudeOK || !longitudeOK || latitude < -90 || latitude > 90 ||
                 longitude < -180 || longitude > 180) {
                 return;
             }
             if (m_delegate.didUpdateLocations) {
                 m_delegate.didUpdateLocations({{latitude, longitude}});
             }
         });
}

}  // namespace tarnwick
