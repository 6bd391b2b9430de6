#include "BundleInfoLookup.h"

#include "ProcessCodeIdentity.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

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

BundleInfoLookup& BundleInfoLookup::shared() {
    // Never destroyed: the flow thread may still ask while the process exits.
    static auto* lookup =
        new BundleInfoLookup(&ProcessCodeIdentity::enclosingBundleInfo, kTimeLimit);
    return *lookup;
}

Result<std::optional<Value::Dictionary>, std::string> BundleInfoLookup::info(
    const Executable& executable) {
    std::unique_lock lock(m_state->mutex);
    auto found = m_state->entries.find(executable);
    std::shared_ptr<State::Entry> entry;
    if (found != m_state->entries.end()) {
        entry = found->second;
    } else {
        if (m_state->running >= m_state->maximumReaders) {
            return Failure{"the bundle of " + executable.path.string() +
                           " is not looked up: earlier look-ups have not finished"};
        }
        m_state->makeRoom();
        entry = std::make_shared<State::Entry>();
        entry->deadline = std::chrono::steady_clock::now() + m_state->timeLimit;
        m_state->entries.emplace(executable, entry);
        ++m_state->running;
        // Detached: a reader stuck in the kernel cannot be joined, and must not hold up the
        // process's exit. It holds the state, so the state outlives it.
        try {
            std::thread([state = m_state, entry, path = executable.path] {
                auto info = state->reader(path);
                std::lock_guard done(state->mutex);
                entry->done = true;
                entry->info = std::move(info);
                --state->running;
                state->finished.notify_all();
            }).detach();
        } catch (const std::system_error& error) {
            m_state->entries.erase(executable);
            --m_state->running;
            return Failure{"the bundle of " + executable.path.string() +
                           " is not looked up: " + error.what()};
        }
    }
    m_state->finished.wait_until(lock, entry->deadline, [&] { return entry->done; });
    if (!entry->done) {
        return Failure{"the bundle of " + executable.path.string() + " was not read within " +
                       std::to_string(m_state->timeLimit.count()) + " ms"};
    }
    return entry->info;
}

}  // namespace tarnwick
