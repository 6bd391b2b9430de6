#include "MainThreadLinkBridge.h"

#include "XPC/XPCEventLoop.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>

namespace tarnwick {

namespace {

struct Bridge {
    std::shared_ptr<XPCEventLoop> loop;
    std::unique_ptr<QSocketNotifier> notifier;
    // For deadlines (a frame the peer left half sent), which make no descriptor readable.
    std::unique_ptr<QTimer> timer;

    void serve() {
        const auto due = loop->dispatch();
        if (!due) {
            timer->stop();
            return;
        }
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(*due - XPCEventLoop::Clock::now());
        timer->start(static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
            wait.count(), 0, std::chrono::milliseconds::rep{24 * 3600 * 1000})));
    }
};

std::unique_ptr<Bridge>& installed() {
    static std::unique_ptr<Bridge> bridge;
    return bridge;
}

}  // namespace

void MainThreadLinkBridge::install() {
    if (installed()) {
        return;
    }
    auto loop = XPCEventLoop::createDriven("main thread");
    if (!loop) {
        return;  // the link keeps a thread of its own
    }
    auto bridge = std::make_unique<Bridge>();
    bridge->loop = loop;
    bridge->notifier = std::make_unique<QSocketNotifier>(loop->descriptor(), QSocketNotifier::Read);
    bridge->timer = std::make_unique<QTimer>();
    bridge->timer->setSingleShot(true);
    Bridge* const raw = bridge.get();
    QObject::connect(bridge->notifier.get(), &QSocketNotifier::activated, [raw] { raw->serve(); });
    QObject::connect(bridge->timer.get(), &QTimer::timeout, [raw] { raw->serve(); });
    installed() = std::move(bridge);
    XPCEventLoop::setMainThreadLoop(std::move(loop));
}

void MainThreadLinkBridge::uninstall() {
    XPCEventLoop::setMainThreadLoop(nullptr);
    installed().reset();
}

}  // namespace tarnwick
