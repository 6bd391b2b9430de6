#include "Foundation/Bundle.h"
#include "Screens/ConnectionsMonitor/Views/SystemExtensionInstallation.h"
#include "support/TemporaryDirectory.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace tarnwick {
namespace {

Bundle bundleWithInfo(const testing::TemporaryDirectory& folder, const std::string& entries) {
    const auto path = folder.path() / "Tarnwick.app";
    std::filesystem::create_directories(path / "Contents");
    testing::writeFile(
        path / "Contents/Info.plist",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + entries + "</dict></plist>");
    return Bundle(path);
}

TEST(SystemExtensionInstallationTest, TheThirdStepNamesTheApplicationAsItsBundleDoes) {
    testing::TemporaryDirectory folder;
    const struct {
        const char* name;
        std::string entries;
        std::string expected;
    } cases[] = {
        {"display name", "<key>CFBundleDisplayName</key><string>Net Guard</string>",
         "3: Click \"Authenticate\" in the password dialog to give Net Guard permission to run on "
         "your device. "},
        {"none", "",
         "3: Click \"Authenticate\" in the password dialog to give Tarnwick permission to run on "
         "your device. "},
        {"not a string", "<key>CFBundleDisplayName</key><integer>7</integer>",
         "3: Click \"Authenticate\" in the password dialog to give Tarnwick permission to run on "
         "your device. "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SystemExtensionInstallation view(bundleWithInfo(folder, c.entries));
        EXPECT_EQ(view.nameLabel()->text().toStdString(), c.expected);
    }
}

TEST(SystemExtensionInstallationTest, ContinueRunsTheActionOncePerPressAndNothingWithoutOne) {
    testing::TemporaryDirectory folder;
    SystemExtensionInstallation view(bundleWithInfo(folder, ""));
    view.show();
    QTest::mouseClick(view.continueButton(), Qt::LeftButton);  // no action yet: nothing
    int presses = 0;
    view.onContinue = [&] { ++presses; };
    QTest::mouseClick(view.continueButton(), Qt::LeftButton);
    QTest::mouseClick(view.continueButton(), Qt::LeftButton);
    EXPECT_EQ(presses, 2);
}

}  // namespace
}  // namespace tarnwick
