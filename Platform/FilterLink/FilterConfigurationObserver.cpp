#include "FilterConfigurationObserver.h"

#include "FilterLinkProtocol.h"

namespace tarnwick {

namespace {

class Exported final : public XPCExportedObject {
public:
    explicit Exported(std::shared_ptr<FilterConfigurationObserver> object)
        : m_object(std::move(object)) {}

    void invoke(const std::string& selector, const Value::Array& arguments, XPCReply) override {
        if (selector != filterlink::kConfigurationDidChangeSelector) {
            return;
        }
        if (auto configuration = FilterConfiguration::fromValue(arguments[0])) {
            m_object->filterConfigurationDidChange(*configuration);
        }
    }

private:
    std::shared_ptr<FilterConfigurationObserver> m_object;
};

class Remote final : public FilterConfigurationObserver {
public:
    explicit Remote(XPCRemoteObjectProxy proxy) : m_proxy(std::move(proxy)) {}

    void filterConfigurationDidChange(const FilterConfiguration& configuration) override {
        m_proxy.invoke(filterlink::kConfigurationDidChangeSelector, {configuration.toValue()});
    }

private:
    XPCRemoteObjectProxy m_proxy;
};

}  // namespace

const XPCInterface& FilterConfigurationObserver::interface() {
    static const auto* interface =
        new XPCInterface(filterlink::kFilterConfigurationObserver, filterlink::kProtocolVersion,
                         {{filterlink::kConfigurationDidChangeSelector, {1, false}}});
    return *interface;
}

std::shared_ptr<XPCExportedObject> FilterConfigurationObserver::exportedObject(
    std::shared_ptr<FilterConfigurationObserver> object) {
    return std::make_shared<Exported>(std::move(object));
}

std::shared_ptr<FilterConfigurationObserver> FilterConfigurationObserver::remoteObject(
    XPCRemoteObjectProxy proxy) {
    return std::make_shared<Remote>(std::move(proxy));
}

}  // namespace tarnwick
