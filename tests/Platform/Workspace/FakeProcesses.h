#pragma once

#include "Foundation/PropertyList.h"
#include "Workspace/Workspace.h"
#include "support/TemporaryDirectory.h"

#include <string>

namespace tarnwick::testing {

// A process table, programs, application bundles and desktop entries in a temporary folder, and
// a workspace that reads them instead of the machine's own.
class FakeProcesses {
public:
    FakeProcesses() {
        std::filesystem::create_directories(processRoot());
        std::filesystem::create_directories(bin());
        std::filesystem::create_directories(userEntries());
        std::filesystem::create_directories(systemEntries());
    }

    std::filesystem::path processRoot() const { return m_folder / "proc"; }
    std::filesystem::path bin() const { return m_folder / "bin"; }
    std::filesystem::path userEntries() const { return m_folder / "home" / "applications"; }
    std::filesystem::path systemEntries() const { return m_folder / "usr" / "applications"; }
    const TemporaryDirectory& folder() const { return m_folder; }

    Workspace::Configuration configuration(std::string locale = "C") const {
        return {processRoot(), {userEntries(), systemEntries()}, {bin()}, std::move(locale), {}};
    }

    // An executable file; returns its path.
    std::filesystem::path program(const std::string& name) const {
        const auto path = bin() / name;
        writeFile(path, "#!/bin/sh\n");
        return path;
    }

    // "<name>.app" with the executable "Contents/MacOS/<name>"; returns the executable.
    std::filesystem::path bundle(const std::string& name, Value::Dictionary info) const {
        const auto contents = m_folder / "Apps" / (name + ".app") / "Contents";
        std::filesystem::create_directories(contents / "MacOS");
        writeFile(contents / "Info.plist", PropertyList::toXml(Value(std::move(info))));
        const auto executable = contents / "MacOS" / name;
        writeFile(executable, "");
        return executable;
    }

    // A process whose "exe" link names `target` (which need not exist).
    void process(int pid, const std::string& target) const {
        const auto folder = processRoot() / std::to_string(pid);
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(target, folder / "exe");
    }

    void entry(const std::filesystem::path& directory, const std::string& fileName,
               const std::string& contents) const {
        std::filesystem::create_directories((directory / fileName).parent_path());
        writeFile(directory / fileName, contents);
    }

private:
    TemporaryDirectory m_folder;
};

}  // namespace tarnwick::testing
