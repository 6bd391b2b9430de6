#include "UUID.h"

#include <uuid/uuid.h>

namespace tarnwick {

UUID UUID::random() {
    UUID uuid;
    uuid_generate_random(uuid.m_bytes.data());
    return uuid;
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    const std::string copy(text);
    UUID uuid;
    if (uuid_parse(copy.c_str(), uuid.m_bytes.data()) != 0) {
        return std::nullopt;
    }
    return uuid;
}

std::string UUID::uuidString() const {
    char text[37];
    uuid_unparse_upper(m_bytes.data(), text);
    return std::string(text, 36);
}

}  // namespace tarnwick
