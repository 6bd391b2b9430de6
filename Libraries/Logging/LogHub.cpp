#include "LogHub.h"

#include "BaseDestination.h"
#include "Dispatch/DispatchGroup.h"
#include "Dispatch/DispatchQueue.h"

#include <algorithm>
#include <mutex>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarnwick {

namespace {

using Destinations = std::vector<std::shared_ptr<BaseDestination>>;

// Writers replace the published list under the mutex and bump the version; each logging thread
// keeps its own reference to the list it last saw and swaps it only when the version moved, so
// readers share no writable memory and take no lock. A removed destination may stay alive in a
// thread's cached list until that thread logs again or ends; it receives nothing more.
struct Registry {
    std::mutex mutex;
    std::shared_ptr<const Destinations> published = std::make_shared<const Destinations>();
    std::atomic<std::uint64_t> version{1};
};

Registry& registry() {
    // Never destroyed: threads may log while the process exits.
    static auto* instance = new Registry;
    return *instance;
}

struct CachedDestinations {
    std::uint64_t version = 0;
    std::shared_ptr<const Destinations> list;
};

thread_local CachedDestinations t_cached;

const Destinations& currentDestinations() {
    auto& shared = registry();
    const auto version = shared.version.load(std::memory_order_acquire);
    if (t_cached.version != version) {
        std::lock_guard lock(shared.mutex);
        t_cached.list = shared.published;
        t_cached.version = shared.version.load(std::memory_order_relaxed);
    }
    return *t_cached.list;
}

// Called with the registry's mutex held.
void publish(Registry& shared, Destinations list) {
    shared.published = std::make_shared<const Destinations>(std::move(list));
    shared.version.fetch_add(1, std::memory_order_release);
}

// What stands before the first "(", followed by "()". A C++ signature's return type, which the
// compiler puts in front of the name, is dropped as well. Written into a per-thread buffer, so the
// common case does not allocate.
std::string_view shortenedFunction(std::string_view function) {
    thread_local std::string buffer;
    std::string_view name = function.substr(0, function.find('('));
    if (const auto space = name.rfind(' '); space != std::string_view::npos) {
        name.remove_prefix(space + 1);
    }
    buffer.assign(name);
    buffer.append("()");
    return buffer;
}

const std::string& threadDescription() {
    thread_local const std::string description = [] {
        char name[64] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        const long id = static_cast<long>(::syscall(SYS_gettid));
        return "<Thread " + std::to_string(id) + (name[0] != '\0' ? " " + std::string(name) : "") +
               ">";
    }();
    return description;
}

// The calling thread's name, in storage that lives until the thread's next call.
const std::string& currentThreadName() {
    static const std::string mainThreadName;
    if (isMainThread()) {
        return mainThreadName;
    }
    if (auto label = DispatchQueue::currentLabel()) {
        thread_local std::string queueLabel;
        queueLabel = std::move(*label);
        return queueLabel;
    }
    return threadDescription();
}

}  // namespace

bool LogHub::addDestination(const std::shared_ptr<BaseDestination>& destination) {
    if (!destination) {
        return false;
    }
    {
        auto& shared = registry();
        std::lock_guard lock(shared.mutex);
        const auto& current = *shared.published;
        if (std::find(current.begin(), current.end(), destination) != current.end()) {
            return false;
        }
        destination->markRegistered();
        Destinations list = current;
        list.push_back(destination);
        publish(shared, std::move(list));
    }
    destinationSettingsChanged();
    return true;
}

bool LogHub::removeDestination(const std::shared_ptr<BaseDestination>& destination) {
    {
        auto& shared = registry();
        std::lock_guard lock(shared.mutex);
        Destinations list = *shared.published;
        auto found = std::find(list.begin(), list.end(), destination);
        if (found == list.end()) {
            return false;
        }
        list.erase(found);
        publish(shared, std::move(list));
    }
    destinationSettingsChanged();
    return true;
}

void LogHub::removeAllDestinations() {
    {
        auto& shared = registry();
        std::lock_guard lock(shared.mutex);
        publish(shared, {});
    }
    destinationSettingsChanged();
}

std::size_t LogHub::countDestinations() {
    auto& shared = registry();
    std::lock_guard lock(shared.mutex);
    return shared.published->size();
}

std::vector<std::shared_ptr<BaseDestination>> LogHub::destinations() {
    auto& shared = registry();
    std::lock_guard lock(shared.mutex);
    return *shared.published;
}

void LogHub::destinationSettingsChanged() {
    auto& shared = registry();
    std::lock_guard lock(shared.mutex);
    long lowest = 5;
    for (const auto& destination : *shared.published) {
        if (!destination->queue()) {
            continue;
        }
        // Filters can let entries below the destination's own minimum through.
        const long floor = destination->filters().empty() ? rawValue(destination->minLevel()) : 0;
        lowest = std::min(lowest, floor);
    }
    s_lowestAcceptedLevel.store(lowest, std::memory_order_relaxed);
}

std::string LogHub::threadName() {
    return currentThreadName();
}

void LogHub::custom(Level level, MessageProducer message, std::string_view file,
                    std::string_view function, long line, const LogValue& context) {
    const Destinations& destinations = currentDestinations();
    std::optional<std::string> resolved;
    const std::string* thread = nullptr;
    std::string_view shortFunction;
    for (const auto& destination : destinations) {
        const auto& queue = destination->queue();
        if (!queue) {
            continue;
        }
        if (!resolved && destination->hasMessageFilters()) {
            resolved = message();
        }
        if (!destination->shouldLevelBeLogged(level, file, function, resolved)) {
            continue;
        }
        if (thread == nullptr) {
            thread = &currentThreadName();
            shortFunction = shortenedFunction(function);
        }
        // Without a shared resolved text each accepting destination evaluates the message anew.
        std::optional<std::string> ownText;
        if (!resolved) {
            ownText = message();
        }
        const std::string& text = resolved ? *resolved : *ownText;
        if (destination->asynchronously()) {
            destination->submit(level, text, *thread, file, shortFunction, line, context);
        } else {
            // A queue that this thread already runs takes the block in place, so logging from a
            // synchronous destination's own work cannot deadlock. That nested logging reuses this
            // thread's name and function buffers, hence the copies, and the fresh look-up after.
            queue->sync([&, threadName = *thread, functionName = std::string(shortFunction)] {
                destination->send(level, text, threadName, std::string(file), functionName, line,
                                  context);
            });
            thread = nullptr;
        }
    }
}

bool LogHub::flush(std::int64_t seconds) {
    // Shared with the queued blocks: a flush that times out must not leave them a dead group.
    auto group = std::make_shared<DispatchGroup>();
    for (const auto& destination : destinations()) {
        const auto& queue = destination->queue();
        // Work queued on the queue this thread runs has already run, or waits for this block.
        if (!queue || queue->isCurrent()) {
            continue;
        }
        group->enter();
        if (destination->asynchronously()) {
            queue->async([group] { group->leave(); });
        } else {
            queue->sync([group] { group->leave(); });
        }
    }
    return group->wait(std::chrono::seconds(std::max<std::int64_t>(seconds, 0)));
}

}  // namespace tarnwick
