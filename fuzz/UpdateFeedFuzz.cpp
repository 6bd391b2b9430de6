#include "FuzzEntries.h"
#include "Shell/UpdateChecker.h"

#include <cstdlib>
#include <string>

namespace tarnwick::fuzz {

int fuzzUpdateFeed(const std::uint8_t* data, std::size_t size) {
    const auto release =
        UpdateChecker::parseFeed(std::string(reinterpret_cast<const char*>(data), size));
    if (release) {
        // Whatever was accepted must also be something the comparison and the message can take.
        (void)UpdateChecker::outcome(release.value(), "1.0.0");
        if (release.value().url.rfind("https://", 0) != 0) {
            std::abort();
        }
    }
    return 0;
}

}  // namespace tarnwick::fuzz
