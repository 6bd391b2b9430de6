#include "Foundation/Bundle.h"
#include "Foundation/PropertyList.h"
#include "fuzz/FuzzEntries.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace tarnwick::fuzz {

namespace {

// A bundle folder of this process's own whose Info.plist each input replaces, removed at exit.
std::filesystem::path temporaryFolder;

const std::filesystem::path& bundleFolder() {
    static const std::filesystem::path bundle = [] {
        // A memory file system where there is one: a run writes a file per input.
        std::error_code noMemoryFileSystem;
        const auto base = std::filesystem::is_directory("/dev/shm", noMemoryFileSystem)
                              ? std::filesystem::path("/dev/shm")
                              : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tarnwick-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        temporaryFolder = pattern;
        std::atexit([] {
            std::error_code ignored;  // best effort at exit
            std::filesystem::remove_all(temporaryFolder, ignored);
        });
        std::filesystem::create_directories(temporaryFolder / "Fuzz.app" / "Contents");
        return temporaryFolder / "Fuzz.app";
    }();
    return bundle;
}

}  // namespace

// The bytes as a property list, its XML form read back, and the bytes as a bundle's Info.plist.
int fuzzPropertyList(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto value = PropertyList::parse(bytes)) {
        // Reals and some texts do not survive XML exactly; reading the XML back must still work.
        if (!PropertyList::parse(PropertyList::toXml(*value))) {
            std::abort();
        }
    }
    {
        // A new file each time: truncating one makes some file systems flush it to disk first.
        const auto info = bundleFolder() / "Contents" / "Info.plist";
        std::error_code error;
        std::filesystem::remove(info, error);
        std::ofstream file(info, std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const Bundle bundle(bundleFolder());
    (void)bundle.bundleIdentifier();
    (void)bundle.executablePath();
    return 0;
}

}  // namespace tarnwick::fuzz
