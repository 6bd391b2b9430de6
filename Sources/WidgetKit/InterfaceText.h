#pragma once

#include <string_view>

namespace tarnwick::InterfaceText {

// The words of the shared interface, shown verbatim (they are English and not translated), and
// the names by which views ask for images, symbols, mascot frames and map annotation views.
// Constants that hold the same text are still separate: each has its own users.

// Scan button titles.
inline constexpr std::string_view scanButtonAppMonitorStandBy = "Scan";
inline constexpr std::string_view scanButtonAppMonitorDone = "Rescan";
inline constexpr std::string_view scanButtonConnectionsStandBy = "Start";
inline constexpr std::string_view scanButtonConnectionsActive = "Stop";
inline constexpr std::string_view targetCountriesWarningSign = "⚠";
inline constexpr std::string_view selectCountries = "Select countries";
inline constexpr std::string_view selectCountriesTooltip =
    "Please select your target countries to enable the scan";
// App Monitor.
inline constexpr std::string_view appMonitorTitle = "App Monitor";
inline constexpr std::string_view showInFinder = "Show in Finder";
inline constexpr std::string_view uninstallQuestionFormat = "Uninstall %@?";
// Connections Monitor.
inline constexpr std::string_view connectionList = "Connection list";
inline constexpr std::string_view connectionMap = "Connection Map";
inline constexpr std::string_view letsDoIt = "Let's do it!";
inline constexpr std::string_view requestsCount = "Requests count:";
inline constexpr std::string_view clearAll = "Clear All";
inline constexpr std::string_view configuring = "Configuring";
// Settings.
inline constexpr std::string_view settingsTitle = "Settings";
inline constexpr std::string_view getIOSApp = "Get iOS App";
inline constexpr std::string_view allowList = "Allow list";
inline constexpr std::string_view denyList = "Deny list";
inline constexpr std::string_view removeAll = "Remove all";
inline constexpr std::string_view remove = "Remove";
// Main menu.
inline constexpr std::string_view applicationMenuTitle = "Tarnwick";
inline constexpr std::string_view aboutMenuItem = "About Tarnwick";
inline constexpr std::string_view settingsMenuItem = "Settings...";
inline constexpr std::string_view privacyPolicyMenuItem = "Privacy policy";
inline constexpr std::string_view userAgreementMenuItem = "User agreement";
inline constexpr std::string_view hideMenuItem = "Hide Tarnwick";
inline constexpr std::string_view hideOthersMenuItem = "Hide Others";
inline constexpr std::string_view quitMenuItem = "Quit";
inline constexpr std::string_view editMenuTitle = "Edit";
inline constexpr std::string_view cutMenuItem = "Cut";
inline constexpr std::string_view copyMenuItem = "Copy";
inline constexpr std::string_view pasteMenuItem = "Paste";
inline constexpr std::string_view selectAllMenuItem = "Select All";
inline constexpr std::string_view viewMenuTitle = "View";
inline constexpr std::string_view windowMenuTitle = "Window";
inline constexpr std::string_view minimiseMenuItem = "Minimise";
inline constexpr std::string_view zoomMenuItem = "Zoom";
inline constexpr std::string_view helpMenuTitle = "Help";
// About window.
inline constexpr std::string_view aboutProductName = "Tarnwick";
inline constexpr std::string_view aboutVersionFormat = "Version: %@";

// Shared controls.
inline constexpr std::string_view filterPlaceholder = "Filter...";
inline constexpr std::string_view betaCaption = "beta";
// Map annotation reuse identifiers.
inline constexpr std::string_view userLocationAnnotation = "UserLocation";
inline constexpr std::string_view placeAnnotation = "Place";
inline constexpr std::string_view cityNameAnnotation = "CityName";
// Symbols.
inline constexpr std::string_view copiedSymbol = "checkmark";
inline constexpr std::string_view copySymbol = "doc.on.doc";
inline constexpr std::string_view closeSymbol = "xmark";
inline constexpr std::string_view minimiseSymbol = "minus";
inline constexpr std::string_view fullScreenSymbol = "circle";
inline constexpr std::string_view applicationRowTrashSymbol = "trash.fill";
inline constexpr std::string_view listRowTrashSymbol = "trash";
inline constexpr std::string_view connectionRowChevronSymbol = "chevron.down";
inline constexpr std::string_view listRowArrowLeftSymbol = "arrow.left";
inline constexpr std::string_view listRowArrowRightSymbol = "arrow.right";
inline constexpr std::string_view noNetworkSymbol = "network.slash";
// Images.
inline constexpr std::string_view makerLogoImage = "BrenlowLogo";
inline constexpr std::string_view sideBarAppMonitorImage = "AppMonitor";
inline constexpr std::string_view sideBarSettingsImage = "Settings";
inline constexpr std::string_view sideBarSecondMascotImage = "WumbleSit";
inline constexpr std::string_view checkMarkImage = "check";
inline constexpr std::string_view mapCircleImage = "mapCircle";
inline constexpr std::string_view scanImage = "scan";
inline constexpr std::string_view rescanImage = "rescan";
inline constexpr std::string_view stopImage = "stop";
// Frames of the first mascot.
inline constexpr std::string_view welcome1 = "Welcome1";
inline constexpr std::string_view initialMascotFrame = "Welcome1";
inline constexpr std::string_view welcome2 = "Welcome2";
inline constexpr std::string_view welcome3 = "Welcome3";
inline constexpr std::string_view idle1 = "Idle1";
inline constexpr std::string_view restingMascotFrame = "Idle1";
inline constexpr std::string_view idle2 = "Idle2";
inline constexpr std::string_view idle3 = "Idle3";
inline constexpr std::string_view suspicious1 = "Suspicious1";
inline constexpr std::string_view suspicious2 = "Suspicious2";
inline constexpr std::string_view found = "Found";
inline constexpr std::string_view happy = "Happy";
// Frames of the second mascot.
inline constexpr std::string_view wumbleIdle1 = "WumbleIdle1";
inline constexpr std::string_view initialWumbleFrame = "WumbleIdle1";
inline constexpr std::string_view wumbleIdle2 = "WumbleIdle2";
inline constexpr std::string_view wumbleIdle3 = "WumbleIdle3";
inline constexpr std::string_view wumbleIdle4 = "WumbleIdle4";
inline constexpr std::string_view wumbleIdle5 = "WumbleIdle5";

}  // namespace tarnwick::InterfaceText
