#include "XPCEventLoop.h"

#include "Foundation/FileDescriptor.h"
#include "OSLog/OSLog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <stop_token>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace tarnwick {

namespace {

const OSLog& loopLog() {
    // Never destroyed: loop threads may outlive main.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "xpc");
    return *log;
}

// The token of the loop's own wake-up descriptor; watches count from 1.
constexpr XPCEventLoop::Token kWakeToken = 0;

}  // namespace

struct XPCEventLoop::State {
    struct Watch {
        std::shared_ptr<Handler> handler;
        int fd = -1;
        bool writable = false;
        std::optional<Clock::time_point> deadline;
    };

    std::string label;
    FileDescriptor epollFd;
    FileDescriptor wakeFd;

    std::mutex mutex;
    std::unordered_map<Token, Watch> watches;
    std::set<Token> woken;
    Token nextToken = kWakeToken + 1;
    // No handle is left: the thread ends once the last watch has.
    bool released = false;
    // The thread has ended; nothing more can be watched.
    bool stopped = false;
    // No thread of its own: whoever owns the loop drives it through dispatch().
    bool driven = false;
    // The process ends: the thread ends every watch and returns.
    bool stopRequested = false;

    void run();
    // One round: waits up to `timeout` ms for events, then handles them, the wake-ups and the
    // deadlines that passed. False when the loop failed and ended every watch.
    bool turn(int timeout);
    std::optional<Clock::time_point> earliestDeadlineLocked() const;
    std::shared_ptr<Handler> handlerFor(Token token);
    void refresh(Token token, const std::shared_ptr<Handler>& handler);
    int timeoutLocked() const;
    void endAll();

    void signalLocked() const {
        const std::uint64_t one = 1;
        // A full counter already wakes the thread.
        [[maybe_unused]] const auto written = ::write(wakeFd.get(), &one, sizeof(one));
    }
};

namespace {

std::shared_ptr<XPCEventLoop>& installedMainThreadLoop() {
    static std::shared_ptr<XPCEventLoop> loop;
    return loop;
}

std::mutex& mainThreadLoopMutex() {
    static std::mutex mutex;
    return mutex;
}

// Every loop thread, so that none runs on unjoined: one that ends by itself is joined at once by
// the joiner thread, the others by stopAll().
struct LoopThread {
    std::thread thread;
    std::shared_ptr<bool> finished;  // under the registry's mutex
    std::function<void()> requestStop;
};

struct LoopThreads {
    std::mutex mutex;
    std::condition_variable_any finishedOne;
    std::vector<LoopThread> threads;
    std::jthread joiner;

    void joinFinished(const std::stop_token& stop) {
        std::unique_lock lock(mutex);
        while (!stop.stop_requested()) {
            const auto isFinished = [](const LoopThread& entry) { return *entry.finished; };
            if (!finishedOne.wait(lock, stop, [&] {
                    return std::any_of(threads.begin(), threads.end(), isFinished);
                })) {
                return;
            }
            std::vector<LoopThread> done;
            for (auto entry = threads.begin(); entry != threads.end();) {
                if (*entry->finished) {
                    done.push_back(std::move(*entry));
                    entry = threads.erase(entry);
                } else {
                    ++entry;
                }
            }
            lock.unlock();
            // They have left their loops and are returning: the joins are short.
            for (auto& entry : done) {
                entry.thread.join();
            }
            lock.lock();
        }
    }
};

LoopThreads& loopThreads() {
    // Never destroyed: loop threads may still run while static objects go.
    static auto* threads = new LoopThreads();
    return *threads;
}

}  // namespace

std::shared_ptr<XPCEventLoop> XPCEventLoop::create(const std::string& label) {
    return make(label, false);
}

std::shared_ptr<XPCEventLoop> XPCEventLoop::createDriven(const std::string& label) {
    return make(label, true);
}

std::shared_ptr<XPCEventLoop> XPCEventLoop::make(const std::string& label, bool driven) {
    auto state = std::make_shared<State>();
    state->driven = driven;
    state->label = label;
    state->epollFd = FileDescriptor(::epoll_create1(EPOLL_CLOEXEC));
    state->wakeFd = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeToken;
    if (!state->epollFd || !state->wakeFd ||
        ::epoll_ctl(state->epollFd.get(), EPOLL_CTL_ADD, state->wakeFd.get(), &event) != 0) {
        osLog("Cannot make the I/O loop of " + label + ": " + std::strerror(errno),
              OSLogType::fault, loopLog());
        return nullptr;
    }
    if (driven) {
        return std::shared_ptr<XPCEventLoop>(new XPCEventLoop(std::move(state)));
    }
    try {
        auto finished = std::make_shared<bool>(false);
        auto& registry = loopThreads();
        std::lock_guard lock(registry.mutex);
        if (!registry.joiner.joinable()) {
            registry.joiner =
                std::jthread([&registry](std::stop_token stop) { registry.joinFinished(stop); });
        }
        std::thread thread([state, finished, &registry] {
            state->run();
            std::lock_guard finishedLock(registry.mutex);
            *finished = true;
            registry.finishedOne.notify_all();
        });
        registry.threads.push_back(LoopThread{std::move(thread), std::move(finished), [state] {
                                                  std::lock_guard stateLock(state->mutex);
                                                  state->stopRequested = true;
                                                  state->signalLocked();
                                              }});
    } catch (const std::system_error& error) {
        osLog("Cannot start the I/O loop of " + label + ": " + error.what(), OSLogType::fault,
              loopLog());
        return nullptr;
    }
    return std::shared_ptr<XPCEventLoop>(new XPCEventLoop(std::move(state)));
}

XPCEventLoop::XPCEventLoop(std::shared_ptr<State> state) : m_state(std::move(state)) {}

XPCEventLoop::~XPCEventLoop() {
    if (m_state->driven) {
        // Nobody drives it any more: its watches end here, on the thread that drove it.
        m_state->endAll();
        return;
    }
    std::lock_guard lock(m_state->mutex);
    m_state->released = true;
    m_state->signalLocked();
}

int XPCEventLoop::descriptor() const {
    return m_state->epollFd.get();
}

std::optional<XPCEventLoop::Clock::time_point> XPCEventLoop::dispatch() {
    if (!m_state->turn(0)) {
        return std::nullopt;
    }
    std::lock_guard lock(m_state->mutex);
    return m_state->earliestDeadlineLocked();
}

void XPCEventLoop::setMainThreadLoop(std::shared_ptr<XPCEventLoop> loop) {
    std::lock_guard lock(mainThreadLoopMutex());
    installedMainThreadLoop() = std::move(loop);
}

std::shared_ptr<XPCEventLoop> XPCEventLoop::mainThreadLoop() {
    std::lock_guard lock(mainThreadLoopMutex());
    return installedMainThreadLoop();
}

void XPCEventLoop::stopAll() {
    auto& registry = loopThreads();
    std::jthread joiner;
    {
        std::lock_guard lock(registry.mutex);
        joiner = std::move(registry.joiner);
    }
    // First the joiner, so that every thread left is in the list below.
    if (joiner.joinable()) {
        joiner.request_stop();
        joiner.join();
    }
    std::vector<LoopThread> threads;
    {
        std::lock_guard lock(registry.mutex);
        threads.swap(registry.threads);
    }
    for (auto& entry : threads) {
        entry.requestStop();
    }
    for (auto& entry : threads) {
        entry.thread.join();
    }
}

std::optional<XPCEventLoop::Token> XPCEventLoop::watch(int fd, std::shared_ptr<Handler> handler) {
    std::lock_guard lock(m_state->mutex);
    if (m_state->stopped) {
        return std::nullopt;
    }
    const Token token = m_state->nextToken++;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = token;
    // Added under the lock, so the thread finds the handler of every event it is told of.
    if (::epoll_ctl(m_state->epollFd.get(), EPOLL_CTL_ADD, fd, &event) != 0) {
        osLog("Cannot watch a socket of " + m_state->label + ": " + std::strerror(errno),
              OSLogType::error, loopLog());
        return std::nullopt;
    }
    m_state->watches.emplace(token, State::Watch{std::move(handler), fd, false, std::nullopt});
    return token;
}

void XPCEventLoop::wake(Token token) {
    std::lock_guard lock(m_state->mutex);
    if (m_state->woken.insert(token).second) {
        m_state->signalLocked();
    }
}

std::shared_ptr<XPCEventLoop::Handler> XPCEventLoop::State::handlerFor(Token token) {
    std::lock_guard lock(mutex);
    const auto found = watches.find(token);
    return found == watches.end() ? nullptr : found->second.handler;
}

std::optional<XPCEventLoop::Clock::time_point> XPCEventLoop::State::earliestDeadlineLocked() const {
    std::optional<Clock::time_point> earliest;
    for (const auto& [token, watch] : watches) {
        if (watch.deadline && (!earliest || *watch.deadline < *earliest)) {
            earliest = watch.deadline;
        }
    }
    return earliest;
}

int XPCEventLoop::State::timeoutLocked() const {
    const auto earliest = earliestDeadlineLocked();
    if (!earliest) {
        return -1;
    }
    // Rounded up, so the thread never wakes just before a deadline and sleeps again.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*earliest - Clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INT_MAX));
}

void XPCEventLoop::State::refresh(Token token, const std::shared_ptr<Handler>& handler) {
    const Interest interest = handler->interest();
    {
        std::lock_guard lock(mutex);
        const auto found = watches.find(token);
        if (found == watches.end()) {
            return;
        }
        Watch& watch = found->second;
        if (!interest.end) {
            watch.deadline = interest.deadline;
            if (watch.writable != interest.writable) {
                epoll_event event{};
                event.events = EPOLLIN | (interest.writable ? EPOLLOUT : 0U);
                event.data.u64 = token;
                if (::epoll_ctl(epollFd.get(), EPOLL_CTL_MOD, watch.fd, &event) == 0) {
                    watch.writable = interest.writable;
                }
            }
            return;
        }
        ::epoll_ctl(epollFd.get(), EPOLL_CTL_DEL, watch.fd, nullptr);
        watches.erase(found);
    }
    // The caller still holds the handler, so it goes outside the lock.
    handler->ended();
}

void XPCEventLoop::State::endAll() {
    std::vector<std::shared_ptr<Handler>> handlers;
    {
        std::lock_guard lock(mutex);
        stopped = true;
        for (auto& [token, watch] : watches) {
            ::epoll_ctl(epollFd.get(), EPOLL_CTL_DEL, watch.fd, nullptr);
            handlers.push_back(std::move(watch.handler));
        }
        watches.clear();
    }
    for (const auto& handler : handlers) {
        handler->ended();
    }
}

void XPCEventLoop::State::run() {
    for (;;) {
        int timeout = -1;
        bool stopping = false;
        {
            std::lock_guard lock(mutex);
            if (released && watches.empty()) {
                stopped = true;
                return;
            }
            stopping = stopRequested;
            timeout = timeoutLocked();
        }
        if (stopping) {
            endAll();
            return;
        }
        if (!turn(timeout)) {
            return;
        }
    }
}

bool XPCEventLoop::State::turn(int timeout) {
    std::array<epoll_event, 64> events{};
    std::vector<Token> readable;
    {
        const int count =
            ::epoll_wait(epollFd.get(), events.data(), static_cast<int>(events.size()), timeout);
        if (count < 0) {
            if (errno == EINTR) {
                return true;
            }
            osLog("The I/O loop of " + label + " failed: " + std::strerror(errno), OSLogType::fault,
                  loopLog());
            endAll();
            return false;
        }
        for (int index = 0; index < count; ++index) {
            const Token token = events[index].data.u64;
            if (token == kWakeToken) {
                std::uint64_t value = 0;
                // Only the wake-up matters, not the count.
                [[maybe_unused]] const auto read = ::read(wakeFd.get(), &value, sizeof(value));
                continue;
            }
            const auto handler = handlerFor(token);
            if (!handler) {
                continue;
            }
            if (events[index].events & EPOLLIN) {
                readable.push_back(token);
            }
            handler->ready(events[index].events);
            refresh(token, handler);
        }

        std::set<Token> wokenNow;
        {
            std::lock_guard lock(mutex);
            wokenNow.swap(woken);
        }
        for (const Token token : wokenNow) {
            if (const auto handler = handlerFor(token)) {
                refresh(token, handler);
            }
        }

        std::vector<std::pair<Token, std::shared_ptr<Handler>>> due;
        {
            const auto now = Clock::now();
            std::lock_guard lock(mutex);
            for (const auto& [token, watch] : watches) {
                if (watch.deadline && *watch.deadline <= now &&
                    std::find(readable.begin(), readable.end(), token) == readable.end()) {
                    due.emplace_back(token, watch.handler);
                }
            }
        }
        for (const auto& [token, handler] : due) {
            handler->expired();
            refresh(token, handler);
        }
    }
    return true;
}

}  // namespace tarnwick
