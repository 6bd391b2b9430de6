#pragma once

#include "FilterExtension/IPCConnection.h"
#include "FilterLink/AppCommunication.h"
#include "FilterLink/ProviderCommunication.h"
#include "XPC/XPCConnection.h"
#include "XPC/XPCListener.h"
#include "XPC/XPCPeerPolicy.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tarnwick::testing {

// An IPCConnection for which every peer runs the application's program, as the peers of these
// tests (this very process) stand in for it; while `application` is given, it says so at each
// call instead, so that a test can play a process that does not.
inline std::shared_ptr<IPCConnection> makeIPCConnection(
    IPCConnection::Limits limits = {}, std::shared_ptr<std::atomic<bool>> application = nullptr) {
    return std::make_shared<IPCConnection>(
        limits, [application](pid_t) { return application == nullptr || application->load(); });
}

// An application end joined to an IPCConnection over a socket pair, as if it had connected
// through the listener, and registered (unless told not to). It records the prompts it gets and
// answers them as told.
class LinkedApp {
public:
    enum class Answer { allow, deny, hold };

    class Recorder final : public AppCommunication {
    public:
        explicit Recorder(Answer answer) : m_answer(answer) {}

        void promptUser(const FlowInfo& aboutFlow, ResponseHandler responseHandler) override {
            std::lock_guard lock(m_mutex);
            m_prompts.push_back(aboutFlow);
            if (m_answer == Answer::hold) {
                m_held.push_back(std::move(responseHandler));
            } else {
                responseHandler(m_answer == Answer::allow);
            }
        }

        std::vector<FlowInfo> prompts() const {
            std::lock_guard lock(m_mutex);
            return m_prompts;
        }

    private:
        const Answer m_answer;
        mutable std::mutex m_mutex;
        std::vector<FlowInfo> m_prompts;
        std::vector<ResponseHandler> m_held;
    };

    enum class Registers { yes, no };

    LinkedApp(IPCConnection& ipc, Answer answer, Registers registers = Registers::yes)
        : m_recorder(std::make_shared<Recorder>(answer)) {
        int pair[2];
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
        m_extensionSide = XPCConnection::adoptSocket(FileDescriptor(pair[0]), "extension");
        m_appSide = XPCConnection::adoptSocket(FileDescriptor(pair[1]), "app");
        m_appSide->setExportedInterface(AppCommunication::interface());
        m_appSide->setExportedObject(AppCommunication::exportedObject(m_recorder));
        m_appSide->setRemoteObjectInterface(ProviderCommunication::interface());
        m_appSide->setInvalidationHandler([closed = m_closed] { *closed = true; });
        m_appSide->resume();
        auto listener = XPCListener::createForSocketPath(
            std::filesystem::temp_directory_path() / "unused", XPCPeerPolicy({}, 0));
        m_accepted = ipc.shouldAcceptNewConnection(*listener, m_extensionSide);
        if (m_accepted && registers == Registers::yes) {
            registerNow();
        }
    }

    // Sends register: and waits for the answer; false when it is no or none came.
    bool registerNow() {
        auto registered = std::make_shared<std::promise<bool>>();
        auto answered = registered->get_future();
        ProviderCommunication::remoteObject(
            m_appSide->remoteObjectProxyWithErrorHandler(
                [registered](const XPCError&) { registered->set_value(false); }))
            ->registerApp([registered](bool yes) { registered->set_value(yes); });
        m_registered = answered.wait_for(std::chrono::seconds(10)) == std::future_status::ready &&
                       answered.get();
        return m_registered;
    }

    ~LinkedApp() { m_appSide->invalidate(); }

    // The application goes away.
    void close() { m_appSide->invalidate(); }

    const std::shared_ptr<XPCConnection>& extensionSide() const { return m_extensionSide; }
    const std::shared_ptr<XPCConnection>& appSide() const { return m_appSide; }
    Recorder& recorder() { return *m_recorder; }
    bool accepted() const { return m_accepted; }
    bool registered() const { return m_registered; }
    // Whether the extension closed this application's connection.
    bool wasClosed() const { return *m_closed; }

private:
    std::shared_ptr<Recorder> m_recorder;
    std::shared_ptr<XPCConnection> m_extensionSide;
    std::shared_ptr<XPCConnection> m_appSide;
    bool m_accepted = false;
    bool m_registered = false;
    std::shared_ptr<std::atomic<bool>> m_closed = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tarnwick::testing
