#include "Entry.h"

namespace tarnwick {

std::string Entry::makeTitle(bool isDenied, Kind kind, const std::string& name,
                             const EntryValue& value) {
    std::string title = isDenied ? "Deny" : "Allow";
    switch (kind) {
        case Kind::bundleId:
            return title + " all connections from " + name;
        case Kind::host:
            return title + " all connections to " + name;
        case Kind::hit:
            title += " all connections from " + name;
            if (const auto* hit = std::get_if<HitListEntry>(&value)) {
                title += " to " + hit->ipAddress;
            }
            return title;
    }
    return title;
}

}  // namespace tarnwick
