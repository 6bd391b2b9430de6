#include "FuzzEntries.h"
#include "Screens/AppMonitor/DesktopEntryGroup.h"
#include "Workspace/DesktopEntry.h"

#include <cstdlib>
#include <string_view>

namespace tarnwick::fuzz {

int fuzzDesktopEntry(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto entry = DesktopEntry::parse(text, "fuzz")) {
        // Every value the entry gives back was a part of the text.
        for (const auto& value :
             {entry->name("de_AT.UTF-8@euro"), entry->name("C"), entry->program(), entry->icon()}) {
            if (value && value->size() > size) {
                std::abort();
            }
        }
    }
    if (auto group = DesktopEntryGroup::parse(text)) {
        (void)group->isListedApplication();
        if (auto exec = group->string("Exec")) {
            (void)DesktopEntryGroup::execArguments(*exec);
        }
    }
    (void)DesktopEntryGroup::execArguments(text);
    return 0;
}

}  // namespace tarnwick::fuzz
