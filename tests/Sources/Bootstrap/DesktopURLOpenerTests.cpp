#include "Bootstrap/DesktopURLOpener.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/LocationManager.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

// The system-settings pages the models link to have no counterpart here: nothing may be started
// for them, nor for anything that is not a web or mail address.
TEST(DesktopURLOpener, OpensNothingButWebAndMailAddresses) {
    DesktopURLOpener opener;
    for (const char* address :
         {ConnectionsMonitorViewModel::kSecuritySettingsURL, LocationManager::kLocationServicesURL,
          "file:///etc/passwd", "javascript:alert(1)", "not an address", ""}) {
        EXPECT_FALSE(opener.open(address)) << address;
    }
}

}  // namespace
}  // namespace tarnwick
