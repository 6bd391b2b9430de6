#pragma once

#include "FilterExtension/NetworkSandbox.h"
#include "Foundation/Process.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// A private mount namespace with empty /run and /usr/local/lib, kept alive by an idle process,
// where the system-extension helper installs into its one folder without touching the machine's.
// The test sees the namespace's files through /proc/<holder>/root. Needs root.
class HelperSandbox {
public:
    HelperSandbox();

    // The helper's install folder as this process sees it.
    std::filesystem::path installFolder() const;
    // A path of the namespace as this process sees it.
    std::filesystem::path outside(const std::filesystem::path& inside) const;
    // The program run inside the namespace, as root or as `user`.
    std::vector<std::string> inside(const std::vector<std::string>& arguments,
                                    uid_t user = 0) const;
    // Runs the helper with these arguments inside the namespace.
    ProcessOutcome runHelper(const std::vector<std::string>& arguments) const;
    pid_t holder() const { return m_holder->pid(); }

    // Kills what runs the installed copy (and any process the namespace keeps); done at the end.
    void killInstances() const;
    ~HelperSandbox();

private:
    std::unique_ptr<ChildProcess> m_holder;
};

}  // namespace tarnwick::testing
