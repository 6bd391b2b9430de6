#pragma once

#include <QString>

#include <string_view>

namespace tarnwick {

// The core keeps its text as UTF-8 in std::string and std::string_view; this is the one way it
// enters Qt, so a flag, a dash or an ellipsis is never read as Latin-1, and a view that does not
// end in a NUL is read only to its length. The way back is QString::toStdString, which is UTF-8.
inline QString qtext(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace tarnwick
