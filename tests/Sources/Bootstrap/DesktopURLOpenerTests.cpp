#include "Bootstrap/DesktopURLOpener.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/LocationManager.h"
#include "support/TemporaryDirectory.h"

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tarnwick {
namespace {

// Pages without a counterpart here (the security settings) and anything that is not a web or
// mail address start nothing; the location page needs a settings program that has one.
TEST(DesktopURLOpener, OpensNothingButWebAndMailAddresses) {
    testing::TemporaryDirectory noPrograms;
    DesktopURLOpener opener({QString::fromStdString(noPrograms.path().string())});
    for (const char* address :
         {ConnectionsMonitorViewModel::kSecuritySettingsURL, LocationManager::kLocationServicesURL,
          "file:///etc/passwd", "javascript:alert(1)", "not an address", ""}) {
        EXPECT_FALSE(opener.open(address)) << address;
    }
}

// Where the desktop's settings have a location page, the map's link opens it.
TEST(DesktopURLOpener, OpensTheDesktopsLocationSettings) {
    testing::TemporaryDirectory programs;
    const auto opened = programs.path() / "opened";
    const auto program = programs.path() / "gnome-control-center";
    {
        std::ofstream script(program);
        script << "#!/bin/sh\necho \"$@\" > '" << opened.string() << ".part' && mv '"
               << opened.string() << ".part' '" << opened.string() << "'\n";
    }
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    DesktopURLOpener opener({QString::fromStdString(programs.path().string())});

    EXPECT_TRUE(opener.open(LocationManager::kLocationServicesURL));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(opened); }, 20000));
    std::ifstream arguments(opened);
    std::stringstream text;
    text << arguments.rdbuf();
    EXPECT_EQ(text.str(), "location\n");
    // Only that page: the security settings still have none.
    EXPECT_FALSE(opener.open(ConnectionsMonitorViewModel::kSecuritySettingsURL));
}

}  // namespace
}  // namespace tarnwick
