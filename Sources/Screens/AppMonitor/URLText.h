#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The little URL handling the scan needs on texts from bundles and the store: whether a text is
// a URL reference at all (only characters a URL may hold, well-formed escapes), and the host of
// an absolute one.
bool isURLText(std::string_view text);
// "https://user@shop.example.ua:8443/x" gives "shop.example.ua"; nothing for a text that is not
// a URL or has no authority ("example.com/x", "mailto:a@b").
std::optional<std::string> urlHost(std::string_view text);

}  // namespace tarnwick
