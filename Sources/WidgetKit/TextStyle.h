#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarnwick {

// The typographic scale: each case is one face of the display typeface at one size. Several cases
// share a face and size and stay distinct all the same, because their users differ.
enum class TextStyle : std::uint8_t {
    style0,
    style1,
    style2,
    style3,
    style4,
    style5,
    style6,
    style7,
    style8,
    style9,
    style10,
    style11,
    style12,
    style13,
    style14,
    style15,
    style16,
    style17,
    style18,
    style19,
    style20,
    style21,
    style22,
    style23,
    style24,
    style25,
    style26,
    style27,
    style28,
    style29,
};

inline constexpr std::size_t textStyleCount = 30;

// The five faces of the display typeface, by PostScript name.
namespace typefaceFace {
inline constexpr std::string_view light = "QuendleDisplay-Light";
inline constexpr std::string_view regular = "QuendleDisplay-Regular";
inline constexpr std::string_view medium = "QuendleDisplay-Medium";
inline constexpr std::string_view semiBold = "QuendleDisplay-SemiBold";
inline constexpr std::string_view bold = "QuendleDisplay-Bold";
inline constexpr std::array<std::string_view, 5> all = {light, regular, medium, semiBold, bold};
}  // namespace typefaceFace

struct TextStyleFont {
    std::string_view face;
    double pointSize;
};

TextStyleFont textStyleFont(TextStyle style);

}  // namespace tarnwick
