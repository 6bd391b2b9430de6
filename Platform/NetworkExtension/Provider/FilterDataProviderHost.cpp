#include "FilterDataProviderHost.h"

#include "NetfilterQueueBindings.h"
#include "OSLog/OSLog.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

namespace tarnwick {

namespace {

// A provider that does not complete its start or stop in this time is taken as failed (start) or
// done (stop): the host never hangs on it.
constexpr auto kProviderTimeLimit = std::chrono::seconds(10);

const OSLog& hostLog() {
    // Never destroyed: threads that outlive main may still log.
    static const auto* log = new OSLog("com.brenlow-works.corvid", "filter");
    return *log;
}

}  // namespace

FilterDataProviderHost::FilterDataProviderHost(ProviderFactory factory, FirewallRules rules,
                                               std::string applicationService)
    : m_factory(std::move(factory))
    , m_rules(std::move(rules))
    , m_applicationService(std::move(applicationService)) {}

FilterDataProviderHost::~FilterDataProviderHost() {
    stopFilter();
}

Result<void, std::string> FilterDataProviderHost::startFilter() {
    if (m_engine) {
        return {};
    }
    auto provider = m_factory ? m_factory() : nullptr;
    if (!provider) {
        return Failure{std::string("no filter provider is registered")};
    }
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<std::optional<std::string>> error;
    };
    auto outcome = std::make_shared<Outcome>();
    provider->startFilter([outcome](const std::optional<std::string>& error) {
        std::lock_guard lock(outcome->mutex);
        if (!outcome->error) {
            outcome->error = error;
        }
        outcome->done.notify_all();
    });
    {
        std::unique_lock lock(outcome->mutex);
        if (!outcome->done.wait_for(lock, kProviderTimeLimit,
                                    [&outcome] { return outcome->error.has_value(); })) {
            return Failure{std::string("the filter provider did not start in time")};
        }
        if (*outcome->error) {
            return Failure{"the filter provider failed to start: " + **outcome->error};
        }
    }
    auto engine =
        std::make_shared<FilterEngine>(provider, m_rules.settings(), m_applicationService);
    provider->setFlowResumer(engine);
    m_provider = provider;
    if (auto started = engine->start(); !started) {
        stopProvider(NEProviderStopReason::providerFailed);
        return started;
    }
    m_engine = engine;
    if (auto installed = m_rules.install(); !installed) {
        m_engine->stop();
        m_engine.reset();
        stopProvider(NEProviderStopReason::providerFailed);
        return installed;
    }
    osLog("The filter is on", OSLogType::info, hostLog());
    return {};
}

void FilterDataProviderHost::stopFilter() {
    if (!m_engine) {
        return;
    }
    // Held flows are let through while the queues are still read, and the rules go while every
    // packet that reaches the queue passes at once: removing rules first would lose the packets
    // the kernel still held for us (a held datagram is gone; a held TCP connection waits for its
    // next retransmission).
    m_engine->drain();
    m_rules.remove();
    m_engine->stop();
    m_engine.reset();
    stopProvider(NEProviderStopReason::configurationDisabled);
    osLog("The filter is off", OSLogType::info, hostLog());
}

FilterDataProviderHost::Health FilterDataProviderHost::health() {
    if (!m_engine) {
        return {false, false, "the filter is not running"};
    }
    Health health;
    const auto addProblem = [&health](const std::string& problem) {
        health.problem += (health.problem.empty() ? "" : "; ") + problem;
    };
    if (auto rules = m_rules.check(); !rules) {
        health.rulesInPlace = false;
        addProblem(rules.error());
    }
    const auto queue = m_rules.settings().flowQueue;
    const auto bound = NetfilterQueueBindings::read();
    if (!bound || bound->count(queue) == 0) {
        health.queueBound = false;
        addProblem("the flow queue " + std::to_string(queue) + " is not bound");
    }
    return health;
}

void FilterDataProviderHost::stopProvider(NEProviderStopReason reason) {
    auto provider = std::move(m_provider);
    if (!provider) {
        return;
    }
    auto stopped = std::make_shared<std::promise<void>>();
    auto future = stopped->get_future();
    auto once = std::make_shared<std::once_flag>();
    provider->stopFilter(
        reason, [stopped, once] { std::call_once(*once, [&stopped] { stopped->set_value(); }); });
    future.wait_for(kProviderTimeLimit);
}

}  // namespace tarnwick
