#include "KVBSystemInfo.h"

#include "Foundation/OutsideFile.h"
#include "Foundation/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <system_error>

namespace tarnwick {

namespace {

// Files under /proc and /sys are small; a fixture or a strange kernel never makes us read more.
constexpr std::size_t kMaximumSystemFileSize = 1024 * 1024;

std::optional<std::string> readSystemFile(const std::filesystem::path& file) {
    // The roots are the system's, but a test or a container may put anything there.
    auto text = OutsideFile::read(file, kMaximumSystemFileSize);
    if (!text) {
        return std::nullopt;
    }
    return std::move(*text);
}

std::optional<std::string> readTrimmed(const std::filesystem::path& file) {
    auto text = readSystemFile(file);
    if (!text) {
        return std::nullopt;
    }
    std::string value(trimmed(*text));
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

// "key : value" lines of /proc/cpuinfo, in order; keys repeat once per processor.
std::vector<std::pair<std::string, std::string>> cpuinfoEntries(const KVBSystemSources& sources) {
    std::vector<std::pair<std::string, std::string>> entries;
    const auto text = readSystemFile(sources.procRoot / "cpuinfo");
    if (!text) {
        return entries;
    }
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string_view entry(line);
        entries.emplace_back(trimmed(entry.substr(0, colon)), trimmed(entry.substr(colon + 1)));
    }
    return entries;
}

std::optional<std::string> firstEntry(
    const std::vector<std::pair<std::string, std::string>>& entries, const std::string& key) {
    for (const auto& [name, value] : entries) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<long long> parseInteger(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text->c_str(), &end, 0);
    if (errno != 0 || end == text->c_str()) {
        return std::nullopt;
    }
    return value;
}

std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::optional<KVBSystemSources::Uname> systemUname() {
    struct utsname name {};
    if (::uname(&name) != 0) {
        return std::nullopt;
    }
    return KVBSystemSources::Uname{name.sysname, name.release, name.machine};
}

std::optional<std::uint64_t> systemFreeSpace(const std::filesystem::path& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

std::optional<std::string> systemEnvironment(const std::string& name) {
    if (const char* value = std::getenv(name.c_str())) {
        return std::string(value);
    }
    return std::nullopt;
}

}  // namespace

KVBSystemSources KVBSystemSources::system() {
    KVBSystemSources sources;
    sources.uname = &systemUname;
    sources.freeSpace = &systemFreeSpace;
    sources.environment = &systemEnvironment;
    sources.commandRunner = systemCommandRunner();
    return sources;
}

std::string KVBSystemInfo::systemInfoString(const KVBSystemSources& sources) {
    std::string text;
    for (const auto& fact : gatherInfo(sources)) {
        // A fact that cannot be read is left out: "(null)" tells the help desk nothing.
        if (fact.value) {
            text += fact.key + " = " + *fact.value + "\n";
        }
    }
    return text;
}

std::vector<KVBSystemInfo::Fact> KVBSystemInfo::gatherInfo(const KVBSystemSources& sources) {
    return {
        {"Machine Model", machineModel(sources)},
        {"OS Version", OSVersion(sources)},
        {"Preferred Language", language(sources)},
        {"Free Disk Space", freeDiskSpace(sources)},
        {"RAM Size", RAMSize(sources)},
        {"GPU Models", GPUModels(sources)},
        {"CPU Type", CPUType(sources)},
        {"CPU Speed (MHz)", CPUSpeed(sources)},
        {"Number of CPUs", CPUCount(sources)},
        {"CPU is 64-Bit", is64bit(sources)},
    };
}

std::optional<std::string> KVBSystemInfo::machineModel(const KVBSystemSources& sources) {
    if (auto model = readTrimmed(sources.sysRoot / "devices/virtual/dmi/id/product_name")) {
        return model;
    }
    // Boards without firmware tables name themselves in the device tree.
    return readTrimmed(sources.procRoot / "device-tree/model");
}

std::optional<std::string> KVBSystemInfo::OSVersion(const KVBSystemSources& sources) {
    std::optional<std::string> prettyName;
    if (const auto text = readSystemFile(sources.osReleaseFile)) {
        std::istringstream lines(*text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("PRETTY_NAME=", 0) == 0) {
                prettyName = unquoted(std::string(trimmed(std::string_view(line).substr(12))));
            }
        }
    }
    const auto name = sources.uname ? sources.uname() : std::nullopt;
    if (prettyName && name) {
        return *prettyName + " (" + name->sysname + " " + name->release + ")";
    }
    if (prettyName) {
        return prettyName;
    }
    if (name) {
        return name->sysname + " " + name->release;
    }
    return std::nullopt;
}

std::optional<std::string> KVBSystemInfo::language(const KVBSystemSources& sources) {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        auto value = sources.environment ? sources.environment(variable) : std::nullopt;
        if (!value || value->empty()) {
            continue;
        }
        std::string identifier = *value;
        identifier = identifier.substr(0, identifier.find_first_of(".@"));
        if (identifier == "C" || identifier == "POSIX") {
            return "en_US_POSIX";
        }
        return identifier;
    }
    return "en_US_POSIX";
}

std::optional<std::string> KVBSystemInfo::freeDiskSpace(const KVBSystemSources& sources) {
    const auto bytes = sources.freeSpace ? sources.freeSpace("/") : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    return formatByteCount(*bytes, ByteCountStyle::file);
}

std::optional<std::string> KVBSystemInfo::RAMSize(const KVBSystemSources& sources) {
    const auto text = readSystemFile(sources.procRoot / "meminfo");
    if (!text) {
        return std::nullopt;
    }
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("MemTotal:", 0) == 0) {
            std::istringstream fields(line.substr(9));
            std::uint64_t kibibytes = 0;
            if (fields >> kibibytes) {
                return formatByteCount(kibibytes * 1024, ByteCountStyle::memory);
            }
        }
    }
    return std::nullopt;
}

std::string KVBSystemInfo::GPUModels(const KVBSystemSources& sources) {
    std::vector<std::filesystem::path> devices;
    std::error_code error;
    for (std::filesystem::directory_iterator it(sources.sysRoot / "bus/pci/devices", error), end;
         !error && it != end; it.increment(error)) {
        devices.push_back(it->path());
    }
    std::sort(devices.begin(), devices.end());
    std::string models;
    for (const auto& device : devices) {
        // PCI base class 0x03: display controllers.
        const auto deviceClass = readTrimmed(device / "class");
        if (!deviceClass || deviceClass->rfind("0x03", 0) != 0) {
            continue;
        }
        const auto strip = [](std::optional<std::string> id) {
            if (!id) {
                return std::string("????");
            }
            return id->rfind("0x", 0) == 0 ? id->substr(2) : *id;
        };
        std::string model =
            strip(readTrimmed(device / "vendor")) + ":" + strip(readTrimmed(device / "device"));
        const auto driver = std::filesystem::read_symlink(device / "driver", error);
        if (!error && driver.has_filename()) {
            model += " (" + driver.filename().string() + ")";
        }
        error.clear();
        if (!models.empty()) {
            models += ", ";
        }
        models += model;
    }
    return models;
}

std::string KVBSystemInfo::CPUType(const KVBSystemSources& sources) {
    return CPUInfo(sources)["cpu_type"];
}

std::string KVBSystemInfo::CPUSpeed(const KVBSystemSources& sources) {
    return CPUInfo(sources)["cpu_frequency_MHz"];
}

std::string KVBSystemInfo::CPUCount(const KVBSystemSources& sources) {
    return CPUInfo(sources)["core_count"];
}

std::string KVBSystemInfo::is64bit(const KVBSystemSources& sources) {
    static const std::set<std::string> sixtyFourBitMachines = {
        "x86_64",  "aarch64", "arm64",   "ppc64",       "ppc64le", "s390x",
        "riscv64", "mips64",  "sparc64", "loongarch64", "alpha",   "ia64"};
    if (const auto name = sources.uname ? sources.uname() : std::nullopt;
        name && sixtyFourBitMachines.count(name->machine) > 0) {
        return "Yes";
    }
    // "lm" (long mode) among the x86 flags.
    if (const auto flags = firstEntry(cpuinfoEntries(sources), "flags")) {
        std::istringstream words(*flags);
        std::string word;
        while (words >> word) {
            if (word == "lm") {
                return "Yes";
            }
        }
    }
    return "No";
}

std::map<std::string, std::string> KVBSystemInfo::CPUInfo(const KVBSystemSources& sources) {
    static std::mutex mutex;
    static auto* cache = new std::map<std::string, std::map<std::string, std::string>>;
    const std::string key = sources.procRoot.string() + "\n" + sources.sysRoot.string();
    std::lock_guard lock(mutex);
    if (const auto found = cache->find(key); found != cache->end()) {
        return found->second;
    }
    auto info = getCPUInfo(sources);
    cache->emplace(key, info);
    return info;
}

std::map<std::string, std::string> KVBSystemInfo::getCPUInfo(const KVBSystemSources& sources) {
    const auto entries = cpuinfoEntries(sources);
    std::map<std::string, std::string> info;

    if (auto brand = firstEntry(entries, "model name"); brand && !brand->empty()) {
        info["cpu_type"] = *brand;
    } else {
        // Processors without a brand string (ARM and others) are named by their implementer and
        // part numbers.
        const auto type = parseInteger(firstEntry(entries, "CPU implementer")).value_or(-1);
        const auto subtype = parseInteger(firstEntry(entries, "CPU part")).value_or(-1);
        char text[96];
        std::snprintf(text, sizeof text, "Unknown (type = %lld, subtype = %lld)", type, subtype);
        info["cpu_type"] = text;
    }

    const auto kilohertz = parseInteger(
        readTrimmed(sources.sysRoot / "devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"));
    // Virtual machines and some processors have no frequency driver; the kernel's own figure
    // in /proc/cpuinfo ("cpu MHz : 2918.404") stands in.
    const auto megahertz = parseInteger([&]() -> std::optional<std::string> {
        auto text = firstEntry(entries, "cpu MHz");
        if (text) {
            text = text->substr(0, text->find('.'));
        }
        return text;
    }());
    if (kilohertz && *kilohertz > 0) {
        info["cpu_frequency_MHz"] = std::to_string(*kilohertz / 1000);
    } else if (megahertz && *megahertz > 0) {
        info["cpu_frequency_MHz"] = std::to_string(*megahertz);
    } else {
        info["cpu_frequency_MHz"] = "";
    }

    std::set<std::pair<std::string, std::string>> cores;
    std::size_t processors = 0;
    std::string physicalID;
    for (const auto& [name, value] : entries) {
        if (name == "processor") {
            ++processors;
            physicalID.clear();
        } else if (name == "physical id") {
            physicalID = value;
        } else if (name == "core id") {
            cores.emplace(physicalID, value);
        }
    }
    if (cores.empty()) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(sources.sysRoot / "devices/system/cpu", error),
             end;
             !error && it != end; it.increment(error)) {
            const auto name = it->path().filename().string();
            if (name.size() < 4 || name.rfind("cpu", 0) != 0 ||
                name.find_first_not_of("0123456789", 3) != std::string::npos) {
                continue;
            }
            const auto package = readTrimmed(it->path() / "topology/physical_package_id");
            const auto core = readTrimmed(it->path() / "topology/core_id");
            if (core) {
                cores.emplace(package.value_or(""), *core);
            }
        }
    }
    const std::size_t count = !cores.empty() ? cores.size() : processors;
    info["core_count"] = std::to_string(count);
    return info;
}

std::string KVBSystemInfo::formatByteCount(std::uint64_t bytes, ByteCountStyle style) {
    if (bytes == 0) {
        return "Zero KB";
    }
    const double base = style == ByteCountStyle::file ? 1000.0 : 1024.0;
    if (static_cast<double>(bytes) < base) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    static constexpr std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr std::array<int, 6> decimals = {0, 1, 2, 2, 2, 2};
    double value = static_cast<double>(bytes) / base;
    std::size_t unit = 0;
    while (unit + 1 < units.size() && value >= base) {
        value /= base;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals[unit], value);
    std::string number = text;
    if (number.find('.') != std::string::npos) {
        while (number.back() == '0') {
            number.pop_back();
        }
        if (number.back() == '.') {
            number.pop_back();
        }
    }
    return number + " " + units[unit];
}

}  // namespace tarnwick
