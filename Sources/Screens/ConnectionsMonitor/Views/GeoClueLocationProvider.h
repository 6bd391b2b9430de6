#pragma once

#include "Screens/ConnectionsMonitor/LocationManager.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>

#include <chrono>

namespace tarnwick {

// Positions from the desktop's location service (GeoClue2 on the system bus). Asking for
// permission makes a client of the service and starts it: the service asks the user, and a
// started client is an allowed location. No service, no bus or a refusal is a denied one. Every
// call is asynchronous and bounded; answers and positions arrive on the thread of the Qt event
// loop, which is the main queue's.
class GeoClueLocationProvider final : public QObject, public LocationProvider {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kCallTimeout{10000};

    explicit GeoClueLocationProvider(QDBusConnection bus = QDBusConnection::systemBus(),
                                     QString desktopId = QStringLiteral("tarnwick"),
                                     std::chrono::milliseconds callTimeout = kCallTimeout);

    AuthorizationStatus authorizationStatus() const override { return m_status; }
    void setDelegate(Delegate delegate) override { m_delegate = std::move(delegate); }
    void requestWhenInUseAuthorization() override;
    void startUpdatingLocation() override;

private slots:
    void locationUpdated(const QDBusObjectPath& previous, const QDBusObjectPath& current);

private:
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments,
              std::function<void(const QDBusMessage& reply)> onReply);
    void setClientProperty();
    void startClient();
    void settle(AuthorizationStatus status);

    QDBusConnection m_bus;
    QString m_desktopId;
    std::chrono::milliseconds m_callTimeout;
    AuthorizationStatus m_status = AuthorizationStatus::notDetermined;
    Delegate m_delegate;
    QString m_clientPath;
    bool m_requesting = false;
    bool m_wantsUpdates = false;
};

}  // namespace tarnwick
