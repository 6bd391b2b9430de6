#include "FilterConfigurationCommunication.h"

#include "FilterLinkProtocol.h"

namespace tarnwick {

namespace {

class Exported final : public XPCExportedObject {
public:
    explicit Exported(std::shared_ptr<FilterConfigurationCommunication> object)
        : m_object(std::move(object)) {}

    void invoke(const std::string& selector, const Value::Array& arguments,
                XPCReply reply) override {
        if (selector == filterlink::kLoadSelector) {
            m_object->loadFromPreferences([reply](const FilterConfiguration& configuration) {
                reply({configuration.toValue()});
            });
        } else if (selector == filterlink::kSaveSelector) {
            auto configuration = FilterConfiguration::fromValue(arguments[0]);
            if (!configuration) {
                reply({Value("The configuration is invalid.")});
                return;
            }
            m_object->saveToPreferences(*configuration,
                                        [reply](const std::optional<std::string>& error) {
                                            reply({error ? Value(*error) : Value()});
                                        });
        } else if (selector == filterlink::kStatusSelector) {
            m_object->fetchStatus(
                [reply](const FilterStatus& status) { reply({status.toValue()}); });
        }
    }

private:
    std::shared_ptr<FilterConfigurationCommunication> m_object;
};

class Remote final : public FilterConfigurationCommunication {
public:
    explicit Remote(XPCRemoteObjectProxy proxy) : m_proxy(std::move(proxy)) {}

    void loadFromPreferences(LoadReply reply) override {
        m_proxy.invoke(filterlink::kLoadSelector, {},
                       [proxy = m_proxy, reply = std::move(reply)](const Value::Array& answer) {
                           auto configuration = answer.size() == 1
                                                    ? FilterConfiguration::fromValue(answer[0])
                                                    : std::nullopt;
                           if (configuration) {
                               reply(*configuration);
                           } else {
                               proxy.reportError({XPCError::Code::peerError,
                                                  "The stored configuration is malformed."});
                           }
                       });
    }

    void saveToPreferences(const FilterConfiguration& configuration, SaveReply reply) override {
        m_proxy.invoke(filterlink::kSaveSelector, {configuration.toValue()},
                       [proxy = m_proxy, reply = std::move(reply)](const Value::Array& answer) {
                           if (answer.size() == 1 && answer[0].isNull()) {
                               reply(std::nullopt);
                           } else if (answer.size() == 1 && answer[0].asString()) {
                               reply(answer[0].asString());
                           } else {
                               proxy.reportError({XPCError::Code::peerError,
                                                  "The reply to the save is malformed."});
                           }
                       });
    }

    void fetchStatus(StatusReply reply) override {
        m_proxy.invoke(filterlink::kStatusSelector, {},
                       [proxy = m_proxy, reply = std::move(reply)](const Value::Array& answer) {
                           auto status = answer.size() == 1 ? FilterStatus::fromValue(answer[0])
                                                            : std::nullopt;
                           if (status) {
                               reply(*status);
                           } else {
                               proxy.reportError(
                                   {XPCError::Code::peerError, "The filter status is malformed."});
                           }
                       });
    }

private:
    XPCRemoteObjectProxy m_proxy;
};

}  // namespace

const XPCInterface& FilterConfigurationCommunication::interface() {
    static const auto* interface = new XPCInterface(filterlink::kFilterConfigurationCommunication,
                                                    filterlink::kProtocolVersion,
                                                    {{filterlink::kLoadSelector, {0, true}},
                                                     {filterlink::kSaveSelector, {1, true}},
                                                     {filterlink::kStatusSelector, {0, true}}});
    return *interface;
}

std::shared_ptr<XPCExportedObject> FilterConfigurationCommunication::exportedObject(
    std::shared_ptr<FilterConfigurationCommunication> object) {
    return std::make_shared<Exported>(std::move(object));
}

std::shared_ptr<FilterConfigurationCommunication> FilterConfigurationCommunication::remoteObject(
    XPCRemoteObjectProxy proxy) {
    return std::make_shared<Remote>(std::move(proxy));
}

}  // namespace tarnwick
