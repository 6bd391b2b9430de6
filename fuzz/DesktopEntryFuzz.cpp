#include "FuzzEntries.h"
#include "Screens/AppMonitor/DesktopEntry.h"

#include <string_view>

namespace tarnwick::fuzz {

int fuzzDesktopEntry(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto entry = DesktopEntry::parse(text)) {
        (void)entry->isListedApplication();
        if (auto exec = entry->string("Exec")) {
            (void)DesktopEntry::execArguments(*exec);
        }
    }
    (void)DesktopEntry::execArguments(text);
    return 0;
}

}  // namespace tarnwick::fuzz
