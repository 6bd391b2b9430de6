#include "AppCommunication.h"

#include "FilterLinkProtocol.h"

namespace tarnwick {

namespace {

class Exported final : public XPCExportedObject {
public:
    explicit Exported(std::shared_ptr<AppCommunication> object) : m_object(std::move(object)) {}

    void invoke(const std::string& selector, const Value::Array& arguments,
                XPCReply reply) override {
        if (selector != filterlink::kPromptUserSelector) {
            return;
        }
        const auto* dictionary = arguments[0].asDictionary();
        AppCommunication::FlowInfo flowInfo;
        if (dictionary != nullptr) {
            for (const auto& [key, value] : *dictionary) {
                auto text = value.asString();
                if (!text) {
                    dictionary = nullptr;
                    break;
                }
                flowInfo.emplace(key, std::move(*text));
            }
        }
        if (dictionary == nullptr) {
            reply.fail("The flow info is not a dictionary of strings.");
            return;
        }
        m_object->promptUser(flowInfo, [reply](bool allow) { reply({Value(allow)}); });
    }

private:
    std::shared_ptr<AppCommunication> m_object;
};

class Remote final : public AppCommunication {
public:
    explicit Remote(XPCRemoteObjectProxy proxy) : m_proxy(std::move(proxy)) {}

    void promptUser(const FlowInfo& aboutFlow, ResponseHandler responseHandler) override {
        Value::Dictionary dictionary;
        for (const auto& [key, value] : aboutFlow) {
            dictionary.emplace(key, Value(value));
        }
        m_proxy.invoke(
            filterlink::kPromptUserSelector, {Value(std::move(dictionary))},
            [proxy = m_proxy, handler = std::move(responseHandler)](const Value::Array& answer) {
                if (answer.size() == 1 && answer[0].asBool()) {
                    handler(*answer[0].asBool());
                } else {
                    proxy.reportError(
                        {XPCError::Code::peerError, "The reply to the flow prompt is malformed."});
                }
            });
    }

private:
    XPCRemoteObjectProxy m_proxy;
};

}  // namespace

const XPCInterface& AppCommunication::interface() {
    static const auto* interface =
        new XPCInterface(filterlink::kAppCommunication, filterlink::kProtocolVersion,
                         {{filterlink::kPromptUserSelector, {1, true}}});
    return *interface;
}

std::shared_ptr<XPCExportedObject> AppCommunication::exportedObject(
    std::shared_ptr<AppCommunication> object) {
    return std::make_shared<Exported>(std::move(object));
}

std::shared_ptr<AppCommunication> AppCommunication::remoteObject(XPCRemoteObjectProxy proxy) {
    return std::make_shared<Remote>(std::move(proxy));
}

}  // namespace tarnwick
