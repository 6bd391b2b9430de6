#pragma once

#include "Foundation/Result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// A colour of the application's catalogue, named and resolved at drawing time for the current
// light or dark appearance. Views never use literal colours; they name one of these.
struct NamedColor {
    std::string_view name;

    static NamedColor blocked() { return {"blocked"}; }
    static NamedColor buttonColor() { return {"buttonColor"}; }
    static NamedColor cellButtonColor() { return {"cellButtonColor"}; }
    static NamedColor cellButtonDeleteColor() { return {"cellButtonDeleteColor"}; }
    static NamedColor cellButtonItemColor() { return {"cellButtonItemColor"}; }
    static NamedColor close() { return {"close"}; }
    static NamedColor closeStroke() { return {"closeStroke"}; }
    static NamedColor compromised() { return {"compromised"}; }
    static NamedColor connected() { return {"connected"}; }
    static NamedColor connectionSafetyCompromisedBG() { return {"connectionSafetyCompromisedBG"}; }
    static NamedColor connectionSafetyCompromisedText() {
        return {"connectionSafetyCompromisedText"};
    }
    static NamedColor detectionLevelBackground() { return {"detectionLevelBackground"}; }
    static NamedColor expand() { return {"expand"}; }
    static NamedColor mapCityLabelBackground() { return {"mapCityLabelBackground"}; }
    static NamedColor mapShadowColor() { return {"mapShadowColor"}; }
    static NamedColor mapTintColor() { return {"mapTintColor"}; }
    static NamedColor minimise() { return {"minimise"}; }
    static NamedColor minimiseStroke() { return {"minimiseStroke"}; }
    static NamedColor scanButtonColor() { return {"scanButtonColor"}; }
    static NamedColor sideBarHover() { return {"sideBarHover"}; }
    static NamedColor sideBarHoverShadow() { return {"sideBarHoverShadow"}; }
    static NamedColor sideBarRegular() { return {"sideBarRegular"}; }
    static NamedColor sideBarRegularText() { return {"sideBarRegularText"}; }
    static NamedColor windowBackgroundColor() { return {"windowBackgroundColor"}; }

    // Every name above, in order; the catalogue must hold each.
    static std::vector<NamedColor> all();
};

// 0xAARRGGBB
struct ColorValues {
    std::uint32_t light;
    std::uint32_t dark;
};

// The catalogue's values for a colour name, including the colours that views look up by name
// alone ("sheetBackgroundColor", "windowDimmingColor", "dynamicInvertedColor",
// "dynamicInverted75AlphaColor").
Result<ColorValues, std::string> namedColorValues(std::string_view name);

}  // namespace tarnwick
