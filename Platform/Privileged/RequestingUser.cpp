#include "RequestingUser.h"

#include "Foundation/Text.h"

#include <cstdlib>

namespace tarnwick {

std::optional<uid_t> requestingUser() {
    return requestingUser(std::getenv("PKEXEC_UID"));
}

std::optional<uid_t> requestingUser(const char* pkexecUid) {
    if (pkexecUid == nullptr) {
        return std::nullopt;
    }
    return wholeNumber<uid_t>(pkexecUid).value_or(static_cast<uid_t>(-1));
}

}  // namespace tarnwick
