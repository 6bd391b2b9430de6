#pragma once

#include "Screens/ConnectionsMonitor/LocationManager.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>

#include <chrono>
#include <functional>
#include <vector>

namespace tarnwick {

// Positions from the desktop's location service (GeoClue2 on the system bus). Asking for
// permission makes a client of the service and starts it: the service asks the user, and a
// started client is an allowed location. No service, no bus or a refusal is a denied one. Every
// call is asynchronous and bounded; answers and positions arrive on the thread of the Qt event
// loop, which is the main queue's.
//
// The service's agent looks the application up by the id of its installed desktop file and
// refuses one it does not know, so the id is the application's desktop file name unless told.
class GeoClueLocationProvider final : public QObject, public LocationProvider {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kCallTimeout{10000};

    explicit GeoClueLocationProvider(QDBusConnection bus = QDBusConnection::systemBus(),
                                     QString desktopId = {},
                                     std::chrono::milliseconds callTimeout = kCallTimeout);

    AuthorizationStatus authorizationStatus() const override { return m_status; }
    void setDelegate(Delegate delegate) override { m_delegate = std::move(delegate); }
    void requestWhenInUseAuthorization() override;
    void startUpdatingLocation() override;
    void refreshAuthorization(std::function<void()> done) override;
    bool hasLocationService() const override { return m_hasService; }

private slots:
    void locationUpdated(const QDBusObjectPath& previous, const QDBusObjectPath& current);

private:
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments,
              std::function<void(const QDBusMessage& reply)> onReply);
    void setClientProperty();
    void startClient();
    void requestClient();
    void settle(AuthorizationStatus status);
    void runAfterSettling();

    QDBusConnection m_bus;
    QString m_desktopId;
    std::chrono::milliseconds m_callTimeout;
    AuthorizationStatus m_status = AuthorizationStatus::notDetermined;
    Delegate m_delegate;
    QString m_clientPath;
    bool m_requesting = false;
    bool m_wantsUpdates = false;
    bool m_hasService = true;
    std::vector<std::function<void()>> m_afterSettling;
};

}  // namespace tarnwick
