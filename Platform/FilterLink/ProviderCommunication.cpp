#include "ProviderCommunication.h"

#include "FilterLinkProtocol.h"

namespace tarnwick {

namespace {

class Exported final : public XPCExportedObject {
public:
    explicit Exported(std::shared_ptr<ProviderCommunication> object)
        : m_object(std::move(object)) {}

    void invoke(const std::string& selector, const Value::Array&, XPCReply reply) override {
        if (selector == filterlink::kRegisterSelector) {
            m_object->registerApp([reply](bool registered) { reply({Value(registered)}); });
        }
    }

private:
    std::shared_ptr<ProviderCommunication> m_object;
};

class Remote final : public ProviderCommunication {
public:
    explicit Remote(XPCRemoteObjectProxy proxy) : m_proxy(std::move(proxy)) {}

    void registerApp(Reply reply) override {
        m_proxy.invoke(filterlink::kRegisterSelector, {},
                       [proxy = m_proxy, reply = std::move(reply)](const Value::Array& answer) {
                           if (answer.size() == 1 && answer[0].asBool()) {
                               reply(*answer[0].asBool());
                           } else {
                               proxy.reportError({XPCError::Code::peerError,
                                                  "The reply to register: is malformed."});
                           }
                       });
    }

private:
    XPCRemoteObjectProxy m_proxy;
};

}  // namespace

const XPCInterface& ProviderCommunication::interface() {
    static const auto* interface =
        new XPCInterface(filterlink::kProviderCommunication, filterlink::kProtocolVersion,
                         {{filterlink::kRegisterSelector, {0, true}}});
    return *interface;
}

std::shared_ptr<XPCExportedObject> ProviderCommunication::exportedObject(
    std::shared_ptr<ProviderCommunication> object) {
    return std::make_shared<Exported>(std::move(object));
}

std::shared_ptr<ProviderCommunication> ProviderCommunication::remoteObject(
    XPCRemoteObjectProxy proxy) {
    return std::make_shared<Remote>(std::move(proxy));
}

}  // namespace tarnwick
