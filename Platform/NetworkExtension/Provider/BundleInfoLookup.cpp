#include "BundleInfoLookup.h"

#include "ProcessCodeIdentity.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tarnwick {

struct BundleInfoLookup::State {
    struct Entry {
        bool done = false;
        std::optional<Value::Dictionary> info;
        // Past this, askers no longer wait for the entry: a look-up that hangs costs the flow
        // thread one time limit, not one for every connection of its program.
        std::chrono::steady_clock::time_point deadline;
    };

    Reader reader;
    std::chrono::milliseconds timeLimit;
    std::size_t maximumReaders;
    std::mutex mutex;
    std::condition_variable finished;
    std::map<Executable, std::shared_ptr<Entry>> entries;
    std::size_t running = 0;
    bool stopped = false;
    // Reading threads by number; those that ended are listed to be joined.
    std::uint64_t nextReader = 0;
    std::map<std::uint64_t, std::jthread> readers;
    std::vector<std::uint64_t> ended;

    // Takes the threads that ended out of the list, to be joined without the lock.
    std::vector<std::jthread> takeEnded() {
        std::vector<std::jthread> threads;
        for (const auto number : ended) {
            if (auto found = readers.find(number); found != readers.end()) {
                threads.push_back(std::move(found->second));
                readers.erase(found);
            }
        }
        ended.clear();
        return threads;
    }
    // Devices whose look-ups ran out of time lately, until when they are not waited on: a file
    // system that answers just within the limit would otherwise cost the flow thread nearly one
    // time limit for every new program file put on it.
    std::map<std::uint64_t, std::chrono::steady_clock::time_point> slowDevices;

    bool isSlow(std::uint64_t device, std::chrono::steady_clock::time_point now) {
        const auto found = slowDevices.find(device);
        if (found == slowDevices.end()) {
            return false;
        }
        if (found->second > now) {
            return true;
        }
        slowDevices.erase(found);
        return false;
    }

    void markSlow(std::uint64_t device, std::chrono::steady_clock::time_point now) {
        if (slowDevices.size() >= kCapacity) {
            slowDevices.clear();
        }
        slowDevices[device] = now + kSlowDevicePause;
    }

    // Forgets finished answers when full; unfinished ones stay, and are at most maximumReaders.
    void makeRoom() {
        if (entries.size() < kCapacity) {
            return;
        }
        std::erase_if(entries, [](const auto& entry) { return entry.second->done; });
    }
};

BundleInfoLookup::BundleInfoLookup(Reader reader, std::chrono::milliseconds timeLimit,
                                   std::size_t maximumReaders)
    : m_state(std::make_shared<State>()) {
    m_state->reader = std::move(reader);
    m_state->timeLimit = timeLimit;
    m_state->maximumReaders = maximumReaders;
}

BundleInfoLookup::~BundleInfoLookup() {
    (void)stop(kStopWait);
}

namespace {

// Readers that outlived the stop of their look-up, stuck reading, with the state they report to:
// joined by a later stop once they have ended.
struct Abandoned {
    std::shared_ptr<BundleInfoLookup::State> state;
    std::uint64_t number;
    std::jthread thread;
};
std::mutex g_abandonedMutex;
std::vector<Abandoned>* g_abandoned = new std::vector<Abandoned>;  // never destroyed

// Joins the readers left before that have ended; how many are still reading.
std::size_t joinAbandoned() {
    std::vector<std::jthread> ended;
    std::size_t left = 0;
    {
        std::lock_guard lock(g_abandonedMutex);
        std::erase_if(*g_abandoned, [&ended](Abandoned& reader) {
            std::lock_guard stateLock(reader.state->mutex);
            auto& numbers = reader.state->ended;
            if (std::find(numbers.begin(), numbers.end(), reader.number) == numbers.end()) {
                return false;
            }
            ended.push_back(std::move(reader.thread));
            return true;
        });
        left = g_abandoned->size();
    }
    return left;
}

}  // namespace

std::size_t BundleInfoLookup::stop(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<std::jthread> finished;
    std::vector<Abandoned> reading;
    {
        std::unique_lock lock(m_state->mutex);
        m_state->stopped = true;
        m_state->finished.wait_until(lock, deadline, [this] { return m_state->running == 0; });
        finished = m_state->takeEnded();
        for (auto& [number, thread] : m_state->readers) {
            reading.push_back({m_state, number, std::move(thread)});
        }
        m_state->readers.clear();
    }
    {
        std::lock_guard lock(g_abandonedMutex);
        std::move(reading.begin(), reading.end(), std::back_inserter(*g_abandoned));
    }
    finished.clear();  // joins
    // Those left by earlier stops, and by this one, within the same time.
    for (;;) {
        const std::size_t left = joinAbandoned();
        if (left == 0 || std::chrono::steady_clock::now() >= deadline) {
            return left;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

BundleInfoLookup& BundleInfoLookup::shared() {
    // Never destroyed: the flow thread may still ask while the process exits.
    static auto* lookup =
        new BundleInfoLookup(&ProcessCodeIdentity::enclosingBundleInfo, kTimeLimit);
    return *lookup;
}

Result<std::optional<Value::Dictionary>, std::string> BundleInfoLookup::info(
    const Executable& executable) {
    // Joined without the lock, on the way out; they have ended, so that is at once.
    std::vector<std::jthread> ended;
    std::unique_lock lock(m_state->mutex);
    ended = m_state->takeEnded();
    const auto now = std::chrono::steady_clock::now();
    auto found = m_state->entries.find(executable);
    std::shared_ptr<State::Entry> entry;
    if (found != m_state->entries.end()) {
        entry = found->second;
    } else {
        if (m_state->stopped) {
            return Failure{"the bundle of " + executable.path.string() +
                           " is not looked up: the filter is stopping"};
        }
        if (m_state->running >= m_state->maximumReaders) {
            return Failure{"the bundle of " + executable.path.string() +
                           " is not looked up: earlier look-ups have not finished"};
        }
        m_state->makeRoom();
        entry = std::make_shared<State::Entry>();
        entry->deadline = m_state->isSlow(executable.device, now) ? now : now + m_state->timeLimit;
        m_state->entries.emplace(executable, entry);
        ++m_state->running;
        const std::uint64_t number = m_state->nextReader++;
        try {
            m_state->readers.emplace(
                number, std::jthread([state = m_state, entry, number, path = executable.path] {
                    auto info = state->reader(path);
                    std::lock_guard done(state->mutex);
                    entry->done = true;
                    entry->info = std::move(info);
                    --state->running;
                    state->ended.push_back(number);
                    state->finished.notify_all();
                }));
        } catch (const std::system_error& error) {
            m_state->entries.erase(executable);
            --m_state->running;
            return Failure{"the bundle of " + executable.path.string() +
                           " is not looked up: " + error.what()};
        }
    }
    m_state->finished.wait_until(lock, entry->deadline, [&] { return entry->done; });
    // Its reader has ended, or is about to: joined on the way out.
    for (auto& thread : m_state->takeEnded()) {
        ended.push_back(std::move(thread));
    }
    if (!entry->done) {
        if (entry->deadline > now) {
            m_state->markSlow(executable.device, std::chrono::steady_clock::now());
        }
        return Failure{"the bundle of " + executable.path.string() + " was not read within " +
                       std::to_string(m_state->timeLimit.count()) + " ms"};
    }
    return entry->info;
}

}  // namespace tarnwick
