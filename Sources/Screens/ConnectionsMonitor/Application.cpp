#include "Application.h"

#include "Dispatch/MainQueuePrecondition.h"
#include "Tools/WorkspaceUtilities.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

namespace {

constexpr const char* kWebContentNetworking = "com.apple.webkit.networking";

std::string bundleIdentifierOf(const Application::FlowInfo& flowInfo) {
    const auto found = flowInfo.find("bundleId");
    return found == flowInfo.end() ? Application::kOtherProcess : found->second;
}

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string value(const Application::FlowInfo& flowInfo, const char* key,
                  const std::string& fallback) {
    const auto found = flowInfo.find(key);
    return found == flowInfo.end() ? fallback : found->second;
}

}  // namespace

Application::Application(const FlowInfo& flowInfo, const Workspace& workspace,
                         std::shared_ptr<const HitEnvironment> environment)
    : m_environment(std::move(environment))
    , m_id(UUID::random())
    , m_bundleIdentifier(bundleIdentifierOf(flowInfo)) {
    const bool isWebContent = lowercased(m_bundleIdentifier) == kWebContentNetworking;
    // The running-application look-up already lets the web-content process stand for the browser.
    const auto running = runningApplication(workspace, m_bundleIdentifier);
    if (running && running->bundleIdentifier) {
        m_iconBundleIdentifier = running->bundleIdentifier;
        m_iconBundlePath = running->bundleURL;
    }
    if (isWebContent) {
        m_localizedName = "WebKit";
    } else if (running && running->localizedName &&
               running->bundleIdentifier == m_bundleIdentifier) {
        m_localizedName = *running->localizedName;
    } else {
        m_localizedName = m_bundleIdentifier;
    }
}

void Application::addHit(const FlowInfo& flowInfo, bool isAllowed, bool appendLast) {
    dispatchPreconditionOnMain();
    const auto hostEntry = flowInfo.find("aza");
    const std::optional<std::string> host =
        hostEntry == flowInfo.end() ? std::nullopt : std::optional<std::string>(hostEntry->second);
    const auto address = value(flowInfo, "remoteAddress", "Unknown address");
    const auto url = value(flowInfo, "url", "");
    auto list = children.get();
    // A repeat is found before anything is made for it: repeats are most flows.
    const auto key = address + Hit::displayURL(url, host);
    const auto known = std::find_if(list.begin(), list.end(), [&](const auto& existing) {
        return existing->remoteAddress() + existing->url() == key;
    });
    if (known != list.end()) {
        (*known)->countRepeat(isAllowed);
    } else {
        auto hit = std::make_shared<Hit>(address, url, host, isAllowed, m_environment);
        hit->setApplication(weak_from_this());
        list.insert(appendLast ? list.end() : list.begin(), hit);
        children.set(list);
        hit->startLookups();
    }
    ++m_hitsCount;
    revision.set(revision.get() + 1);
}

}  // namespace tarnwick
