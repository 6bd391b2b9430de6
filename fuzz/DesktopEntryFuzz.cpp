#include "FuzzEntries.h"
#include "Workspace/DesktopEntry.h"
#include "Workspace/IconTheme.h"

#include <cstdlib>
#include <string_view>

namespace tarnwick::fuzz {

int fuzzDesktopEntry(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto entry = DesktopEntry::parseGroup(text, "fuzz")) {
        (void)entry->isListedApplication();
        // Every value the entry gives back was a part of the text.
        for (const auto& value : {entry->name("de_AT.UTF-8@euro"), entry->name("C"),
                                  entry->program(), entry->icon(), entry->string("Exec")}) {
            if (value && value->size() > size) {
                std::abort();
            }
        }
        if (const auto exec = entry->string("Exec")) {
            (void)DesktopEntry::execArguments(*exec);
        }
    }
    (void)DesktopEntry::parse(text, "fuzz");
    (void)DesktopEntry::execArguments(text);
    // An icon theme's index is written in the same format, by anyone who can write to the theme's
    // folders.
    const auto theme = IconTheme::parseIndex("fuzz", text);
    if (theme.directories.size() > IconTheme::kMaximumDirectories ||
        theme.parents.size() > IconTheme::kMaximumThemes) {
        std::abort();
    }
    for (const auto& directory : theme.directories) {
        (void)directory.distance(48);
    }
    return 0;
}

}  // namespace tarnwick::fuzz
