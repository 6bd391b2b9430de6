#pragma once

#include <string_view>

namespace tarnwick::MakerLinks {

// The maker's web addresses. The host is ours to choose; the page paths are fixed.
inline constexpr std::string_view homePage = "https://brenlow-works.example/";
inline constexpr std::string_view privacyPolicy = "https://brenlow-works.example/policy";
inline constexpr std::string_view userAgreement = "https://brenlow-works.example/eula";
inline constexpr std::string_view donation = "https://brenlow-works.example/stand-with-ukraine";
inline constexpr std::string_view fixedCopyright = "© Brenlow Works. All rights reserved.";

}  // namespace tarnwick::MakerLinks
