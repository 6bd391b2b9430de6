#pragma once

#include "AnyCancellable.h"
#include "Dispatch/DispatchQueue.h"
#include "Subscription.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace tarnwick {

// A source of values that anyone can subscribe to. Subjects and published properties hand these
// out so that subscribers can only listen, never send.
template <typename T>
class Publisher {
public:
    using Receiver = std::function<void(const T&)>;
    using Subscribe = std::function<AnyCancellable(Receiver)>;

    explicit Publisher(Subscribe subscribe) : m_subscribe(std::move(subscribe)) {}

    // The receiver is called on the sending thread until the token is cancelled or destroyed.
    [[nodiscard]] AnyCancellable sink(Receiver receiver) const {
        return m_subscribe(std::move(receiver));
    }

    // The same values, each handed to the receiver asynchronously on `on`, in the order in which
    // they were sent from one thread. Once the token is cancelled on that queue, values still
    // waiting in it are dropped, so a view that unsubscribes on the main queue hears nothing more.
    Publisher receive(std::shared_ptr<DispatchQueue> on) const {
        return Publisher([upstream = m_subscribe, queue = std::move(on)](Receiver receiver) {
            auto stage = std::make_shared<detail::Subscription<T>>(std::move(receiver));
            auto token = std::make_shared<AnyCancellable>(upstream([stage, queue](const T& value) {
                queue->async([stage, value] { stage->deliver(value, 0, false); });
            }));
            return AnyCancellable([stage, token] {
                token->cancel();
                stage->cancel();
            });
        });
    }

private:
    Subscribe m_subscribe;
};

}  // namespace tarnwick
