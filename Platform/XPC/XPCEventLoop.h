#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// One thread serving many sockets over epoll. A listener's socket and all the sessions it accepted
// share one loop, so an idle session costs a descriptor and a little memory, not a thread. Each
// watched descriptor has a handler, which the thread calls when the descriptor is ready, when the
// handler's deadline passes, or after another thread woke it, and then asks what the handler
// wants next. Handlers run one at a time on the loop thread: one that blocks delays the rest.
//
// The thread runs while this object or any watch lives, and ends by itself after both are gone,
// so a session keeps serving after its listener stopped.
//
// A driven loop has no thread: its owner watches descriptor() in its own event loop and calls
// dispatch() when it is readable or the deadline dispatch() gave has passed, so the handlers run on
// the owner's thread without a hand-off. Its watches end when it is destroyed.
class XPCEventLoop {
public:
    using Clock = std::chrono::steady_clock;

    // What a watch wants next.
    struct Interest {
        // The watch is over: the loop stops watching the descriptor and calls ended().
        bool end = false;
        // Also called when the descriptor takes more bytes.
        bool writable = false;
        std::optional<Clock::time_point> deadline;
    };

    // Called on the loop thread only, never with the loop's lock held, so a handler may wake
    // other watches or start new ones.
    class Handler {
    public:
        virtual ~Handler() = default;
        // `events` are epoll's (EPOLLIN, EPOLLOUT, EPOLLHUP, EPOLLERR).
        virtual void ready(std::uint32_t events) = 0;
        // The deadline passed, and the descriptor had nothing to read in that round: bytes that
        // already wait are read before a deadline counts against the peer.
        virtual void expired() = 0;
        // Asked after each call above and after each wake().
        virtual Interest interest() = 0;
        // Once, last: the descriptor is no longer watched, and the handler may close it.
        virtual void ended() = 0;
    };

    using Token = std::uint64_t;

    // Starts the thread; nothing (and the reason logged) when it cannot.
    static std::shared_ptr<XPCEventLoop> create(const std::string& label);
    // A loop without a thread; nothing (and the reason logged) when it cannot be made.
    static std::shared_ptr<XPCEventLoop> createDriven(const std::string& label);
    ~XPCEventLoop();
    XPCEventLoop(const XPCEventLoop&) = delete;
    XPCEventLoop& operator=(const XPCEventLoop&) = delete;

    // Watches `fd` for reading (the handler keeps it open until ended()), from any thread.
    // Nothing when the descriptor cannot be watched; the handler is then never called.
    std::optional<Token> watch(int fd, std::shared_ptr<Handler> handler);
    // From any thread: the loop asks the handler for its interest again. A watch that ended is
    // left alone.
    void wake(Token token);

    // For a driven loop: readable while a watch is ready or a wake() waits.
    int descriptor() const;
    // For a driven loop, on the thread that drives it: handles what is ready without waiting and
    // returns when dispatch() is due again at the latest (nothing: only when readable).
    std::optional<Clock::time_point> dispatch();

    // The driven loop the main thread serves, which the application's link to the extension uses;
    // nothing where the main thread serves none (the link then has a thread of its own).
    static void setMainThreadLoop(std::shared_ptr<XPCEventLoop> loop);
    static std::shared_ptr<XPCEventLoop> mainThreadLoop();

    // For the process's end: every loop thread ends its watches (their handlers' ended() runs
    // there) and is joined. Never from a handler. Loops made later start threads again.
    static void stopAll();

private:
    struct State;
    explicit XPCEventLoop(std::shared_ptr<State> state);
    static std::shared_ptr<XPCEventLoop> make(const std::string& label, bool driven);

    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
