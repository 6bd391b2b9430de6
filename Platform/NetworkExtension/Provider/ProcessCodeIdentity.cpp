#include "ProcessCodeIdentity.h"

#include "AuditToken.h"
#include "Foundation/Bundle.h"

#include <climits>
#include <cstdio>
#include <map>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace tarnwick {

std::optional<ProcessCodeIdentity> ProcessCodeIdentity::forAuditToken(const Value::Data& token) {
    const auto decoded = AuditToken::decode(token);
    if (!decoded) {
        return std::nullopt;
    }
    char path[32];
    std::snprintf(path, sizeof(path), "/proc/%d/exe", decoded->pid);
    char executable[PATH_MAX];
    const ssize_t length = ::readlink(path, executable, sizeof(executable));
    // Checked after the link is read: the executable is then surely that of the process the
    // token names, not of a later one that got its pid.
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(executable) ||
        !decoded->isCurrent()) {
        return std::nullopt;
    }
    ProcessCodeIdentity identity;
    identity.executablePath = std::string(executable, static_cast<std::size_t>(length));
    identity.infoPlist = enclosingBundleInfo(identity.executablePath);
    return identity;
}

std::optional<Value::Dictionary> ProcessCodeIdentity::enclosingBundleInfo(
    const std::filesystem::path& executable) {
    // Never destroyed: the packet thread may still ask while the process exits.
    static auto* mutex = new std::mutex;
    static auto* cache = new std::map<std::filesystem::path, std::optional<Value::Dictionary>>;
    {
        std::lock_guard lock(*mutex);
        if (auto found = cache->find(executable); found != cache->end()) {
            return found->second;
        }
    }
    std::optional<Value::Dictionary> info;
    for (auto folder = executable.parent_path(); !folder.empty() && folder != folder.root_path();
         folder = folder.parent_path()) {
        if (folder.extension() == ".app") {
            Bundle bundle(folder);
            if (bundle.infoDictionary()) {
                info = bundle.infoDictionary();
                break;
            }
        }
    }
    std::lock_guard lock(*mutex);
    // Executables come and go; a bounded cache is enough to spare the disk on busy programs.
    if (cache->size() >= 1024) {
        cache->clear();
    }
    cache->emplace(executable, info);
    return info;
}

}  // namespace tarnwick
