#include "ApplicationServices.h"

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/MainQueuePrecondition.h"
#include "Dispatch/Scheduler.h"
#include "Foundation/Bundle.h"
#include "Foundation/Process.h"
#include "Logging/LogHub.h"
#include "Network/CurlEngine.h"
#include "Network/HTTPSession.h"
#include "NetworkExtension/Manager/FilterManagerClient.h"
#include "NetworkExtension/Manager/NEFilterManager.h"
#include "Screens/ConnectionsMonitor/IPCConnection.h"
#include "SystemExtensions/OSSystemExtensionManager.h"
#include "Tools/NetworkValidator.h"
#include "Tools/Preferences.h"
#include "Tools/UndesirableCountriesManager.h"
#include "Tools/WhoIs.h"
#include "Workspace/Workspace.h"
#include "XPC/XPCEventLoop.h"

#include <stdexcept>

namespace tarnwick {

ApplicationServices::ApplicationServices()
    : ApplicationServices(Configuration{
          WhoIs::defaultService(), {}, std::chrono::seconds(2), &IPCConnection::shared()}) {}

ApplicationServices::ApplicationServices(Configuration configuration)
    : m_whoIs(std::make_shared<WhoIs>(configuration.geoIPService))
    , m_filterManagerClient(configuration.makeFilterManagerClient
                                ? configuration.makeFilterManagerClient()
                                : NEFilterManager::shared().link())
    , m_ipcConnection(configuration.ipcConnection)
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

NEFilterManager& ApplicationServices::filterManager() const {
    return NEFilterManager::shared();
}

OSSystemExtensionManager& ApplicationServices::extensionManager() const {
    return OSSystemExtensionManager::shared();
}

IPCConnection& ApplicationServices::ipcConnection() const {
    if (m_ipcConnection == nullptr) {
        throw std::logic_error("these services were made without a link to the extension");
    }
    return *m_ipcConnection;
}

Scheduler& ApplicationServices::scheduler() const {
    return Scheduler::system();
}

const Workspace& ApplicationServices::workspace() const {
    return Workspace::shared();
}

const Bundle& ApplicationServices::mainBundle() const {
    return Bundle::main();
}

std::shared_ptr<HTTPSession> ApplicationServices::makeHTTPSession() {
    dispatchPreconditionOnMain();
    auto session = std::make_shared<HTTPSession>();
    m_sessions.push_back(session);
    return session;
}

void ApplicationServices::addShutDownStep(std::function<void()> step) {
    dispatchPreconditionOnMain();
    m_shutDownSteps.push_back(std::move(step));
}

void ApplicationServices::addWorkerStop(std::function<void()> stop) {
    dispatchPreconditionOnMain();
    m_workerStops.push_back(std::move(stop));
}

void ApplicationServices::stopProcessEngines() {
    XPCEventLoop::stopAll();
    Scheduler::stopSystem();
    CurlEngine::shared().stop();
    Process::stopReaping();
}

void ApplicationServices::shutDown() {
    dispatchPreconditionOnMain();
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    // Links first: no flow from the extension may start new work while the rest goes. A flow
    // waiting for its answer is let through by the extension once the link is gone.
    if (m_ipcConnection != nullptr) {
        m_ipcConnection->invalidate();
    }
    for (auto& step : m_shutDownSteps) {
        step();
    }
    m_shutDownSteps.clear();
    if (m_filterManagerClient) {
        m_filterManagerClient->invalidate();
    }
    m_whoIs->invalidateAndCancel();
    for (const auto& session : m_sessions) {
        session->invalidateAndCancel();
    }
    // The workers go after the requests they would have waited for were cut short.
    for (auto& stop : m_workerStops) {
        stop();
    }
    m_workerStops.clear();
    LogHub::info("The services have shut down");
    // Last, so the lines the steps above wrote are in the file too. A log that cannot be flushed
    // in time is given up on: quitting must not hang on it.
    (void)LogHub::flush(m_logFlushLimit.count());
}

}  // namespace tarnwick
