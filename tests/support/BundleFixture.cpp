#include "support/BundleFixture.h"

#include "Foundation/PropertyList.h"
#include "support/TemporaryDirectory.h"

namespace tarnwick::testing {

std::filesystem::path writeBundle(const std::filesystem::path& folder,
                                  const BundleFixture& bundle) {
    const auto path = folder / bundle.name;
    std::filesystem::create_directories(path / "Contents/Resources");
    auto info = bundle.info;
    if (bundle.executable) {
        const std::string executableName = std::filesystem::path(bundle.name).stem().string();
        info["CFBundleExecutable"] = executableName;
        std::filesystem::create_directories(path / "Contents/MacOS");
        writeFile(path / "Contents/MacOS" / executableName, *bundle.executable);
    }
    writeFile(path / "Contents/Info.plist", bundle.binaryInfo ? PropertyList::toBinary(Value(info))
                                                              : PropertyList::toXml(Value(info)));
    for (const auto& language : bundle.localizations) {
        std::filesystem::create_directories(path / "Contents/Resources" / (language + ".lproj"));
    }
    return path;
}

}  // namespace tarnwick::testing
