#include "Foundation/Bundle.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;
using testing::writeFile;

const char* const kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
    <key>CFBundleExecutable</key><string>Example</string>
    <key>CFBundleIdentifier</key><string>com.example.app</string>
    <key>CFBundleShortVersionString</key><string>2.1</string>
    <key>CFBundleVersion</key><string>417</string>
    <key>LSMinimumSystemVersion</key><integer>11</integer>
    <key>NetworkExtension</key><dict><key>NEMachServiceName</key><string>svc</string></dict>
</dict>
</plist>)";

TEST(Bundle, ReadsItsInfoDictionary) {
    TemporaryDirectory folder;
    const auto bundlePath = folder / "Example.app";
    writeFile(bundlePath / "Contents" / "Info.plist", kInfoPlist);

    const Bundle bundle(bundlePath);
    EXPECT_EQ(bundle.bundleIdentifier(), "com.example.app");
    EXPECT_EQ(bundle.shortVersionString(), "2.1");
    EXPECT_EQ(bundle.version(), "417");
    EXPECT_EQ(bundle.executableName(), "Example");
    EXPECT_EQ(bundle.executablePath(), bundlePath / "Contents" / "MacOS" / "Example");
    EXPECT_EQ(bundle.resourcePath(), bundlePath / "Contents" / "Resources");
    // A value of another type is not a string.
    EXPECT_EQ(bundle.stringForInfoDictionaryKey("LSMinimumSystemVersion"), std::nullopt);
    const Value* extension = bundle.objectForInfoDictionaryKey("NetworkExtension");
    ASSERT_NE(extension, nullptr);
    EXPECT_EQ(extension->find("NEMachServiceName")->asString(), "svc");
}

TEST(Bundle, WithoutAnInfoPlistHasNoDictionary) {
    TemporaryDirectory folder;
    writeFile(folder / "Broken.app" / "Contents" / "Info.plist", "not a property list");
    EXPECT_FALSE(Bundle(folder / "Broken.app").infoDictionary().has_value());
    EXPECT_FALSE(Bundle(folder / "Missing.app").bundleIdentifier().has_value());
}

TEST(Bundle, AnExecutableNameThatLeavesContentsMacOSNamesNoProgram) {
    TemporaryDirectory folder;
    for (const std::string name : {"/bin/sh", "../../evil", "sub/tool", "..", "."}) {
        SCOPED_TRACE(name);
        writeFile(
            folder / "X.app/Contents/Info.plist",
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleExecutable</key>"
            "<string>" +
                name + "</string></dict></plist>");
        EXPECT_EQ(Bundle(folder / "X.app").executablePath(), std::nullopt);
    }
}

TEST(Bundle, TheBundleOfAnExecutableIsTheFolderAboveContentsMacOS) {
    EXPECT_EQ(Bundle::forExecutable("/opt/X.app/Contents/MacOS/X").bundlePath(), "/opt/X.app");
    EXPECT_EQ(Bundle::forExecutable("/usr/bin/tool").bundlePath(), "/usr/bin");
}

}  // namespace
}  // namespace tarnwick
