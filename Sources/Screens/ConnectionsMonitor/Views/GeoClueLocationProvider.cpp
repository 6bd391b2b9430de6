#include "Screens/ConnectionsMonitor/Views/GeoClueLocationProvider.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace tarnwick {

namespace {

const QString kService = QStringLiteral("org.freedesktop.GeoClue2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString kClientInterface = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString kLocationInterface = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// City-level accuracy is all the map needs.
constexpr quint32 kAccuracyCity = 4;

}  // namespace

GeoClueLocationProvider::GeoClueLocationProvider(QDBusConnection bus, QString desktopId,
                                                 std::chrono::milliseconds callTimeout)
    : m_bus(std::move(bus)), m_desktopId(std::move(desktopId)), m_callTimeout(callTimeout) {}

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
    if (!m_bus.isConnected()) {
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
                 settle(AuthorizationStatus::denied);
                 return;
             }
             m_clientPath = qvariant_cast<QDBusObjectPath>(values.first()).path();
             if (m_clientPath.isEmpty()) {
                 settle(AuthorizationStatus::denied);
                 return;
             }
             setClientProperty();
         });
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
