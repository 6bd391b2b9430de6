#include "ApplicationServices.h"

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/MainQueuePrecondition.h"
#include "Logging/LogHub.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "NetworkExtension/Manager/NEFilterManager.h"
#include "Tools/NetworkValidator.h"
#include "Tools/Preferences.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Tools/WhoIs.h"

namespace tarnwick {

ApplicationServices::ApplicationServices()
    : ApplicationServices(Configuration{WhoIs::defaultService(), {}, std::chrono::seconds(2)}) {}

ApplicationServices::ApplicationServices(Configuration configuration)
    : m_whoIs(std::make_unique<WhoIs>(configuration.geoIPService))
    , m_filterManagerClient(configuration.makeFilterManagerClient
                                ? configuration.makeFilterManagerClient()
                                : NEFilterManager::shared().link())
    , m_logFlushLimit(configuration.logFlushLimit) {}

ApplicationServices::~ApplicationServices() {
    shutDown();
}

UndesirableCountriesManager& ApplicationServices::undesirableCountries() const {
    return UndesirableCountriesManager::shared();
}

Preferences& ApplicationServices::preferences() const {
    return Preferences::shared();
}

const std::shared_ptr<NetworkValidator>& ApplicationServices::networkValidator() const {
    return NetworkValidator::shared();
}

void ApplicationServices::addShutDownStep(std::function<void()> step) {
    dispatchPreconditionOnMain();
    m_shutDownSteps.push_back(std::move(step));
}

void ApplicationServices::shutDown() {
    dispatchPreconditionOnMain();
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    // Links first: no answer from the extension may start new work while the rest goes.
    for (auto& step : m_shutDownSteps) {
        step();
    }
    m_shutDownSteps.clear();
    if (m_filterManagerClient) {
        m_filterManagerClient->invalidate();
    }
    m_whoIs->invalidateAndCancel();
    // Last, so the lines the steps above wrote are in the file too. A log that cannot be flushed
    // in time is given up on: quitting must not hang on it.
    (void)LogHub::flush(m_logFlushLimit.count());
}

}  // namespace tarnwick
