#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Keeps a window's size and place between runs under its autosave name, and fits what it restores
// to the screens of this run: a frame whose screen is gone or smaller is moved and shrunk onto the
// screen it mostly lay on, or dropped when it lay on none. The stored text is "x y width height"
// in logical pixels; anything else reads as no frame.
class WindowFrameAutosave {
public:
    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool operator==(const Rect&) const = default;
    };

    struct Store {
        std::function<std::optional<std::string>()> read;
        std::function<void(const std::string&)> write;
    };
    // The user defaults' "NSWindow Frame <name>".
    static Store standardSettings(const std::string& autosaveName);

    static std::string encode(const Rect& frame);
    static std::optional<Rect> decode(const std::string& text);
    // The frame as it fits one of `screens` (their available geometry), never below `minimum`
    // where the screen has room for it; none when it overlaps no screen.
    static std::optional<Rect> fitted(const Rect& frame, const std::vector<Rect>& screens,
                                      int minimumWidth, int minimumHeight);
    // The smallest size a window may have on a screen: what it asks for, or the whole screen
    // where that is smaller.
    static std::pair<int, int> minimumSize(int wantedWidth, int wantedHeight, const Rect& screen);
};

}  // namespace tarnwick
