#pragma once

#include <string_view>

namespace tarnwick::MakerLinks {

// The maker's web addresses: the site is the build's deployment value, the page paths are fixed.
// A build without a site has none of these pages, and whatever would open them is hidden.
inline constexpr std::string_view site = TARNWICK_MAKER_SITE;
inline constexpr bool hasSite = !site.empty();
inline constexpr std::string_view homePage = TARNWICK_MAKER_SITE "/";
inline constexpr std::string_view privacyPolicy = TARNWICK_MAKER_SITE "/policy";
inline constexpr std::string_view userAgreement = TARNWICK_MAKER_SITE "/eula";
inline constexpr std::string_view donation = TARNWICK_MAKER_SITE "/stand-with-ukraine";
inline constexpr std::string_view fixedCopyright = "© Brenlow Works. All rights reserved.";

}  // namespace tarnwick::MakerLinks
