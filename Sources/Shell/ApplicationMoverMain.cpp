#include "Foundation/Text.h"
#include "Shell/ApplicationMover.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// pkexec names the user who authenticated; it sets this itself, so it cannot come from them.
std::optional<uid_t> requester() {
    const char* text = std::getenv("PKEXEC_UID");
    if (text == nullptr) {
        return std::nullopt;
    }
    // Nobody's when it is not a number: every bundle is refused.
    return tarnwick::wholeNumber<uid_t>(text).value_or(static_cast<uid_t>(-1));
}

}  // namespace

int main(int argc, char** argv) {
    return tarnwick::ApplicationMover::run(std::vector<std::string>(argv + 1, argv + argc),
                                           requester());
}
