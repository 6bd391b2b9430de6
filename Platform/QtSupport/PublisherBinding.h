#pragma once

#include "Combine/AnyCancellable.h"
#include "Combine/Publisher.h"
#include "Dispatch/DispatchQueue.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <type_traits>
#include <utility>

namespace tarnwick {

namespace detail {

// Keeps a subscription as long as the object it is parented to: destroying the object destroys
// this child, whose token ends the subscription.
class SubscriptionHolder final : public QObject {
public:
    SubscriptionHolder(QObject* owner, AnyCancellable token)
        : QObject(owner), m_token(std::move(token)) {}

private:
    AnyCancellable m_token;
};

}  // namespace detail

// How widgets listen to the models' publishers. The slot runs on the main thread only: a value sent
// there is handed over at once; a value sent from another thread is posted to the receiver's event
// loop and dropped if the receiver is gone by then. The subscription lasts as long as `receiver`.
//
// Models send on the main queue, so values keep their order; a value sent from another thread may
// reach the slot after one sent later on the main thread.
template <typename T, typename Slot>
void bindPublisher(const Publisher<T>& publisher, QObject* receiver, Slot slot) {
    QPointer<QObject> guard(receiver);
    auto token = publisher.sink([guard, slot = std::move(slot)](const T& value) {
        if (isMainThread()) {
            if (guard) {
                slot(value);
            }
            return;
        }
        QObject* target = guard.data();
        if (target == nullptr) {
            return;
        }
        // Qt drops a queued call whose context object has been destroyed.
        QMetaObject::invokeMethod(
            target,
            [guard, slot, value] {
                if (guard) {
                    slot(value);
                }
            },
            Qt::QueuedConnection);
    });
    new detail::SubscriptionHolder(receiver, std::move(token));
}

}  // namespace tarnwick
