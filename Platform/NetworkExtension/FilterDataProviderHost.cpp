#include "FilterDataProviderHost.h"

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

std::optional<std::string> FilterDataProviderHost::startFilter() {
    if (m_engine) {
        return std::nullopt;
    }
    auto provider = m_factory ? m_factory() : nullptr;
    if (!provider) {
        return "no filter provider is registered";
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
            return "the filter provider did not start in time";
        }
        if (*outcome->error) {
            return "the filter provider failed to start: " + **outcome->error;
        }
    }
    auto engine =
        std::make_shared<FilterEngine>(provider, m_rules.settings(), m_applicationService);
    provider->setFlowResumer(engine);
    m_provider = provider;
    if (auto error = engine->start()) {
        stopProvider(NEProviderStopReason::providerFailed);
        return error;
    }
    m_engine = engine;
    if (auto error = m_rules.install()) {
        m_engine->stop();
        m_engine.reset();
        stopProvider(NEProviderStopReason::providerFailed);
        return error;
    }
    osLog("The filter is on", OSLogType::info, hostLog());
    return std::nullopt;
}

void FilterDataProviderHost::stopFilter() {
    if (!m_engine) {
        return;
    }
    m_rules.remove();
    m_engine->stop();
    m_engine.reset();
    stopProvider(NEProviderStopReason::configurationDisabled);
    osLog("The filter is off", OSLogType::info, hostLog());
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
