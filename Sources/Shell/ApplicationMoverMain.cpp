#include "Shell/ApplicationMover.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// pkexec names the user who authenticated; it sets this itself, so it cannot come from them.
std::optional<uid_t> requester() {
    const char* text = std::getenv("PKEXEC_UID");
    uid_t uid = 0;
    if (text == nullptr) {
        return std::nullopt;
    }
    const char* end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, uid);
    if (error != std::errc() || at != end || at == text) {
        return static_cast<uid_t>(-1);  // nobody's: refuses every bundle
    }
    return uid;
}

}  // namespace

int main(int argc, char** argv) {
    return tarnwick::ApplicationMover::run(std::vector<std::string>(argv + 1, argv + argc),
                                           requester());
}
