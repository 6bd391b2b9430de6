#include "WidgetKit/NamedColor.h"

#include <utility>

namespace tarnwick {

namespace {

struct Entry {
    std::string_view name;
    ColorValues values;
};

// Light and dark values of every colour in the catalogue.
constexpr Entry catalogue[] = {
    {"blocked", {0xFFE5484D, 0xFFFF6369}},
    {"buttonColor", {0xFF4C5BD4, 0xFF7483F2}},
    {"cellButtonColor", {0xFFEEF0F6, 0xFF2E3240}},
    {"cellButtonDeleteColor", {0xFFE5484D, 0xFFFF6369}},
    {"cellButtonItemColor", {0xFF3A3F4B, 0xFFD5D8E0}},
    {"close", {0xFFFF5F57, 0xFFFF6B63}},
    {"closeStroke", {0xFFE0443E, 0xFFE0443E}},
    {"compromised", {0xFFF5A623, 0xFFFFB84D}},
    {"connected", {0xFF2FA36B, 0xFF4CC38A}},
    {"connectionSafetyCompromisedBG", {0xFFFDECEC, 0xFF4A2326}},
    {"connectionSafetyCompromisedText", {0xFFC4282E, 0xFFFF9A9E}},
    {"connectionSafetyBlockedBG", {0xFFECEDF1, 0xFF33363F}},
    {"connectionSafetyBlockedText", {0xFF5D6373, 0xFFB4B9C7}},
    {"connectionSafetySafeBG", {0xFFE6F6EE, 0xFF1F3A2D}},
    {"connectionSafetySafeText", {0xFF23845A, 0xFF7CE0A3}},
    {"detectionLevelBackground", {0xFFF1F2F6, 0xFF2A2D37}},
    {"expand", {0xFF28C840, 0xFF32D74B}},
    {"mapCityLabelBackground", {0xD93A3F4B, 0xE62A2D37}},
    {"mapShadowColor", {0x33000000, 0x66000000}},
    {"mapTintColor", {0xFF4C5BD4, 0xFF7483F2}},
    {"minimise", {0xFFFEBC2E, 0xFFFFC53D}},
    {"minimiseStroke", {0xFFDEA123, 0xFFDEA123}},
    {"scanButtonColor", {0xFF4C5BD4, 0xFF6474F0}},
    {"sideBarHover", {0xFF1F2330, 0xFFFFFFFF}},
    {"sideBarHoverShadow", {0x404C5BD4, 0x807483F2}},
    {"sideBarRegular", {0xFF8A90A0, 0xFF8D93A5}},
    {"sideBarRegularText", {0xFF5D6373, 0xFFB4B9C7}},
    {"windowBackgroundColor", {0xFFF7F8FB, 0xFF1C1E25}},
    {"sheetBackgroundColor", {0xFFFFFFFF, 0xFF262932}},
    {"windowDimmingColor", {0x66000000, 0x99000000}},
    {"dynamicInvertedColor", {0xFF111318, 0xFFF5F6FA}},
    {"dynamicInverted75AlphaColor", {0xBF111318, 0xBFF5F6FA}},
};

}  // namespace

std::vector<NamedColor> NamedColor::all() {
    return {blocked(),
            buttonColor(),
            cellButtonColor(),
            cellButtonDeleteColor(),
            cellButtonItemColor(),
            close(),
            closeStroke(),
            compromised(),
            connected(),
            connectionSafetyCompromisedBG(),
            connectionSafetyCompromisedText(),
            detectionLevelBackground(),
            expand(),
            mapCityLabelBackground(),
            mapShadowColor(),
            mapTintColor(),
            minimise(),
            minimiseStroke(),
            scanButtonColor(),
            sideBarHover(),
            sideBarHoverShadow(),
            sideBarRegular(),
            sideBarRegularText(),
            windowBackgroundColor()};
}

Result<ColorValues, std::string> namedColorValues(std::string_view name) {
    for (const Entry& entry : catalogue) {
        if (entry.name == name) {
            return entry.values;
        }
    }
    return Failure{"The colour catalogue has no colour named \"" + std::string(name) + "\"."};
}

}  // namespace tarnwick
