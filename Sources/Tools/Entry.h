#pragma once

#include "HitListEntry.h"

#include <string>
#include <variant>

namespace tarnwick {

// One row of a displayed allow or deny list: its title, the item it stands for (a bundle
// identifier or host name, or a connection) and its kind. Rows are told apart as objects, never
// by content, so lists hold them by pointer.
class Entry {
public:
    enum class Kind { bundleId, host, hit };
    using EntryValue = std::variant<std::string, HitListEntry>;

    Entry(std::string title, EntryValue value, Kind kind)
        : m_title(std::move(title)), m_value(std::move(value)), m_kind(kind) {}

    const std::string& title() const { return m_title; }
    const EntryValue& value() const { return m_value; }
    Kind kind() const { return m_kind; }

    // "Deny"/"Allow", then " all connections from <name>" (a bundle identifier or a hit, which
    // ends with " to <address>") or " all connections to <host>".
    static std::string makeTitle(bool isDenied, Kind kind, const std::string& name,
                                 const EntryValue& value);

private:
    std::string m_title;
    EntryValue m_value;
    Kind m_kind;
};

}  // namespace tarnwick
