#pragma once

#include <optional>
#include <sys/types.h>

namespace tarnwick {

// The user on whose behalf a program runs as root. pkexec names the user who authenticated in
// PKEXEC_UID, which it sets itself, so it cannot come from them; a value that is not a number
// names nobody (uid -1), so every ownership check fails. Run without pkexec (root itself, a
// test), there is none.
std::optional<uid_t> requestingUser();
std::optional<uid_t> requestingUser(const char* pkexecUid);

}  // namespace tarnwick
