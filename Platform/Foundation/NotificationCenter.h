#pragma once

#include <any>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {

class DispatchQueue;

struct Notification {
    std::string name;
    std::any object;
    std::map<std::string, std::any> userInfo;
};

// Delivers named notifications to block observers. An observer registered with a queue gets its
// block on that queue (in place when the poster already runs on it, else asynchronously); one
// registered without a queue gets it on the posting thread. Once removed, an observer receives
// nothing more, not even notifications that were already on their way to its queue.
class NotificationCenter {
public:
    class Observation;
    using ObserverToken = std::shared_ptr<Observation>;
    using Block = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // An empty name observes every notification.
    ObserverToken addObserver(std::string name, std::shared_ptr<DispatchQueue> queue, Block block);
    void removeObserver(const ObserverToken& token);

    void post(Notification notification);
    void post(std::string name, std::any object = {}) {
        post(Notification{std::move(name), std::move(object), {}});
    }

private:
    std::mutex m_mutex;
    std::vector<ObserverToken> m_observers;
};

class NotificationCenter::Observation {
public:
    Observation(std::string name, std::shared_ptr<DispatchQueue> queue, Block block);
    const std::string& name() const { return m_name; }

private:
    friend class NotificationCenter;
    void deliver(const std::shared_ptr<const Notification>& notification,
                 const std::shared_ptr<Observation>& self);

    std::string m_name;
    std::shared_ptr<DispatchQueue> m_queue;
    Block m_block;
    std::atomic<bool> m_active{true};
};

}  // namespace tarnwick
