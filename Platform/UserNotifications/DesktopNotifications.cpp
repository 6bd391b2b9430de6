#include "UserNotifications/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

namespace tarnwick {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, std::string applicationName,
                                           std::chrono::milliseconds callTimeout)
    : m_bus(std::move(bus))
    , m_applicationName(std::move(applicationName))
    , m_callTimeout(callTimeout) {}

void DesktopNotifications::post(const Notification& notification, Completion completion) const {
    if (notification.delay.count() <= 0) {
        send(notification, std::move(completion));
        return;
    }
    // A copy of the connection travels with the timer, so the notification still goes out when
    // this object is gone by then.
    const DesktopNotifications sender = *this;
    QTimer::singleShot(notification.delay, [sender, notification, completion]() mutable {
        sender.send(notification, std::move(completion));
    });
}

namespace {

// The service may read a body as markup; ours is plain text naming hosts and programs, so the
// characters markup gives meaning to are written as entities.
QString markupEscaped(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar character : text) {
        if (character == u'&') {
            escaped += QStringLiteral("&amp;");
        } else if (character == u'<') {
            escaped += QStringLiteral("&lt;");
        } else if (character == u'>') {
            escaped += QStringLiteral("&gt;");
        } else {
            escaped += character;
        }
    }
    return escaped;
}

}  // namespace

void DesktopNotifications::send(const Notification& notification, Completion completion) const {
    if (!m_bus.isConnected()) {
        const QString reason = m_bus.lastError().message();
        completion("no session bus" +
                   (reason.isEmpty() ? std::string() : ": " + reason.toStdString()));
        return;
    }
    QVariantMap hints;
    if (notification.playsDefaultSound) {
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QString::fromStdString(m_applicationName) << quint32(0) << QString()
         << QString::fromStdString(notification.summary)
         << markupEscaped(QString::fromStdString(notification.body)) << QStringList() << hints
         << qint32(-1);
    const QDBusPendingCall pending = m_bus.asyncCall(call, static_cast<int>(m_callTimeout.count()));
    auto* watcher = new QDBusPendingCallWatcher(pending);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<quint32> reply = *finished;
                         if (reply.isError()) {
                             completion(reply.error().name().toStdString() + ": " +
                                        reply.error().message().toStdString());
                         } else {
                             completion(std::nullopt);
                         }
                         finished->deleteLater();
                     });
}

}  // namespace tarnwick
