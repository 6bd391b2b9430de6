#pragma once

#include "Combine/Published.h"
#include "Foundation/UUID.h"
#include "Screens/ConnectionsMonitor/Hit.h"
#include "Workspace/Workspace.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// One monitored application and the servers it reached, in list order. Made from the first
// decided flow of a bundle identifier; name and icon are taken then and kept. Main queue only.
// Made with std::make_shared.
class Application : public std::enable_shared_from_this<Application> {
public:
    using FlowInfo = std::map<std::string, std::string>;
    using HitList = std::vector<std::shared_ptr<Hit>>;

    Application(const FlowInfo& flowInfo, const Workspace& workspace,
                std::shared_ptr<const HitEnvironment> environment);

    const UUID& id() const { return m_id; }
    const std::string& bundleIdentifier() const { return m_bundleIdentifier; }
    const std::string& localizedName() const { return m_localizedName; }
    // The running application's executable whose icon stands for it; none: "commandLineApp".
    const std::optional<std::string>& iconBundleIdentifier() const {
        return m_iconBundleIdentifier;
    }
    // The bundle the application ran from when it was seen: its icon outlives the process.
    const std::optional<std::filesystem::path>& iconBundlePath() const { return m_iconBundlePath; }
    bool isWarning() const { return m_isWarning; }
    void setIsWarning(bool isWarning) {
        m_isWarning = isWarning;
        revision.set(revision.get() + 1);
    }
    int hitsCount() const { return m_hitsCount; }
    std::string filterName() const { return m_bundleIdentifier + m_localizedName; }
    // An application node has children.
    static constexpr bool isLeaf = false;

    Published<HitList> children;
    Published<HitList> compromisedChildren;
    // Sent after each change of the warning flag or the count of hits.
    Published<int> revision{0};

    // Adds the flow's server (last, or first when `appendLast` is false), or counts a repeat of
    // a server already listed (same address and URL).
    void addHit(const FlowInfo& flowInfo, bool isAllowed, bool appendLast = true);

    static constexpr const char* kOtherProcess = "Other Process";

private:
    const std::shared_ptr<const HitEnvironment> m_environment;
    const UUID m_id;
    const std::string m_bundleIdentifier;
    std::string m_localizedName;
    std::optional<std::string> m_iconBundleIdentifier;
    std::optional<std::filesystem::path> m_iconBundlePath;
    bool m_isWarning = false;
    int m_hitsCount = 0;
};

}  // namespace tarnwick
