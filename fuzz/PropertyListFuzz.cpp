#include "fuzz/FuzzEntries.h"

#include "Foundation/Bundle.h"
#include "Foundation/PropertyList.h"

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
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarnwick-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        temporaryFolder = pattern;
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(temporaryFolder, error);  // best effort at exit
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
        std::ofstream file(bundleFolder() / "Contents" / "Info.plist",
                           std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const Bundle bundle(bundleFolder());
    (void)bundle.bundleIdentifier();
    (void)bundle.executablePath();
    return 0;
}

}  // namespace tarnwick::fuzz
