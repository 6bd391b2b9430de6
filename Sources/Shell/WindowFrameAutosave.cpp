#include "Shell/WindowFrameAutosave.h"

#include "Foundation/UserDefaults.h"

#include <algorithm>
#include <sstream>

namespace tarnwick {

namespace {

// Larger than any desktop of screens, so a corrupt value cannot overflow the arithmetic below.
constexpr long kLimit = 1 << 20;

long overlapArea(const WindowFrameAutosave::Rect& a, const WindowFrameAutosave::Rect& b) {
    const long width = std::min<long>(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const long height = std::min<long>(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return width > 0 && height > 0 ? width * height : 0;
}

}  // namespace

WindowFrameAutosave::Store WindowFrameAutosave::standardSettings(const std::string& autosaveName) {
    const std::string key = "NSWindow Frame " + autosaveName;
    return Store{
        [key]() -> std::optional<std::string> {
            const auto value = UserDefaults::standard().object(key);
            return value ? value->asString() : std::nullopt;
        },
        [key](const std::string& text) { UserDefaults::standard().set(key, Value(text)); }};
}

std::string WindowFrameAutosave::encode(const Rect& frame) {
    return std::to_string(frame.x) + " " + std::to_string(frame.y) + " " +
           std::to_string(frame.width) + " " + std::to_string(frame.height);
}

std::optional<WindowFrameAutosave::Rect> WindowFrameAutosave::decode(const std::string& text) {
    if (text.size() > 100) {
        return std::nullopt;
    }
    std::istringstream in(text);
    long x = 0;
    long y = 0;
    long width = 0;
    long height = 0;
    std::string rest;
    if (!(in >> x >> y >> width >> height) || (in >> rest) || width <= 0 || height <= 0 ||
        width > kLimit || height > kLimit || std::labs(x) > kLimit || std::labs(y) > kLimit) {
        return std::nullopt;
    }
    return Rect{int(x), int(y), int(width), int(height)};
}

std::optional<WindowFrameAutosave::Rect> WindowFrameAutosave::fitted(
    const Rect& frame, const std::vector<Rect>& screens, int minimumWidth, int minimumHeight) {
    const Rect* best = nullptr;
    long bestArea = 0;
    for (const Rect& screen : screens) {
        if (const long area = overlapArea(frame, screen); area > bestArea) {
            best = &screen;
            bestArea = area;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    const auto [lowestWidth, lowestHeight] = minimumSize(minimumWidth, minimumHeight, *best);
    Rect result = frame;
    result.width = std::clamp(frame.width, lowestWidth, best->width);
    result.height = std::clamp(frame.height, lowestHeight, best->height);
    result.x = std::clamp(frame.x, best->x, best->x + best->width - result.width);
    result.y = std::clamp(frame.y, best->y, best->y + best->height - result.height);
    return result;
}

std::pair<int, int> WindowFrameAutosave::minimumSize(int wantedWidth, int wantedHeight,
                                                     const Rect& screen) {
    return {std::min(wantedWidth, std::max(screen.width, 1)),
            std::min(wantedHeight, std::max(screen.height, 1))};
}

}  // namespace tarnwick
