#pragma once

#include "LocalApplication.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Finds the applications a Linux desktop lists: the desktop entries of type Application in
// "$XDG_DATA_HOME/applications" and every "$XDG_DATA_DIRS/*/applications" (where Flatpak and Snap
// export theirs), and the AppImages in the user's usual folders. The first entry of a desktop-file
// ID wins, as on the desktop, so a user's entry that says Hidden hides the system's. Every file is
// opened the safe way and every folder is entered without following a link, so a FIFO, a device
// or a link loop put there costs nothing but that one entry.
class DesktopApplicationsFinder {
public:
    struct Folders {
        std::filesystem::path dataHome;
        std::vector<std::filesystem::path> dataDirs;
        std::vector<std::filesystem::path> appImageFolders;
        // The program search path, for an Exec that names a program without a folder.
        std::vector<std::filesystem::path> path;
        // dpkg's file lists, to tell which package installed an entry.
        std::filesystem::path dpkgInfo = "/var/lib/dpkg/info";
        std::filesystem::path documentation = "/usr/share/doc";

        // From the environment, with the defaults the desktop specifications give.
        static Folders standard();
    };

    explicit DesktopApplicationsFinder(Folders folders) : m_folders(std::move(folders)) {}

    std::vector<std::shared_ptr<LocalApplication>> desktopApplications() const;
    std::vector<std::shared_ptr<LocalApplication>> appImages() const;

    // One found entry file and its desktop-file ID ("kde-foo.desktop" for
    // "applications/kde/foo.desktop").
    struct EntryFile {
        std::string desktopID;
        std::filesystem::path path;
        // The data folder it came from.
        std::filesystem::path dataFolder;
    };
    // The first file of every ID, in the order of the data folders and then of the names.
    std::vector<EntryFile> entryFiles() const;

    // The program an Exec line's arguments start, as a name or path still to resolve: past "env"
    // and its settings, and for "sh", "bash" or "dash" with "-c" the program of the command
    // string, never the shell itself; none when no program can be named.
    static std::optional<std::string> execProgram(const std::vector<std::string>& arguments,
                                                  int depth = 0);
    // The program of an Exec line resolved as the desktop would, or none.
    std::optional<std::filesystem::path> resolveProgram(const std::string& program) const;

    // Used for testing only
    const Folders& folders() const { return m_folders; }

private:
    // XDG_DATA_HOME, then XDG_DATA_DIRS, each without a trailing separator.
    std::vector<std::filesystem::path> dataFolders() const;
    std::map<std::string, std::string> packagesOwningEntries() const;
    std::optional<std::string> packageCopyright(const std::string& package) const;

    Folders m_folders;
};

}  // namespace tarnwick
