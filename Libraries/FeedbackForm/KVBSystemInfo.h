#pragma once

#include "KVBSystemSources.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

// The system facts of the profile, one "Label = value" line each, read from /proc, /sys, uname,
// statvfs and the locale settings. A fact that cannot be read is left out.
class KVBSystemInfo {
public:
    struct Fact {
        std::string key;
        std::optional<std::string> value;
    };

    static std::string systemInfoString(const KVBSystemSources& sources);
    static std::vector<Fact> gatherInfo(const KVBSystemSources& sources);

    static std::optional<std::string> machineModel(const KVBSystemSources& sources);
    static std::optional<std::string> OSVersion(const KVBSystemSources& sources);
    static std::optional<std::string> language(const KVBSystemSources& sources);
    static std::optional<std::string> freeDiskSpace(const KVBSystemSources& sources);
    static std::optional<std::string> RAMSize(const KVBSystemSources& sources);
    static std::string GPUModels(const KVBSystemSources& sources);
    static std::string CPUType(const KVBSystemSources& sources);
    static std::string CPUSpeed(const KVBSystemSources& sources);
    static std::string CPUCount(const KVBSystemSources& sources);
    static std::string is64bit(const KVBSystemSources& sources);

    // "cpu_type", "cpu_frequency_MHz" and "core_count"; computed once per process for each pair
    // of /proc and /sys folders.
    static std::map<std::string, std::string> CPUInfo(const KVBSystemSources& sources);
    static std::map<std::string, std::string> getCPUInfo(const KVBSystemSources& sources);

    enum class ByteCountStyle { file, memory };
    // "Zero KB", "1 byte", "532 bytes", "12 KB", "4.2 MB", "499.96 GB": units of 1000 bytes for
    // files, 1024 for memory.
    static std::string formatByteCount(std::uint64_t bytes, ByteCountStyle style);
};

}  // namespace tarnwick
