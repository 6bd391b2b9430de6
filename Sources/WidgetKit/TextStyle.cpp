#include "WidgetKit/TextStyle.h"

namespace tarnwick {

namespace {

using namespace typefaceFace;

constexpr std::array<TextStyleFont, textStyleCount> scale = {{
    {bold, 25},    {regular, 13}, {semiBold, 16}, {regular, 13},  {semiBold, 13}, {medium, 13},
    {light, 14},   {regular, 11}, {regular, 12},  {regular, 12},  {light, 13},    {regular, 28},
    {medium, 14},  {regular, 12}, {regular, 13},  {semiBold, 13}, {regular, 13},  {light, 14},
    {regular, 14}, {regular, 28}, {regular, 28},  {regular, 28},  {regular, 28},  {light, 29},
    {regular, 12}, {regular, 28}, {regular, 28},  {regular, 28},  {regular, 28},  {regular, 28},
}};

}  // namespace

TextStyleFont textStyleFont(TextStyle style) {
    return scale.at(static_cast<std::size_t>(style));
}

}  // namespace tarnwick
