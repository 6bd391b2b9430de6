#include "FeedbackForm/KVBHelpDeskAnswer.h"
#include "fuzz/FuzzEntries.h"

#include <string_view>

// Entry for a fuzzer of the help desk's upload answers: any bytes give a token or none, never a
// crash or an exception.
namespace tarnwick::fuzz {

int fuzzHelpDeskAnswer(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    (void)KVBHelpDeskAnswer::uploadToken(body);
    return 0;
}

}  // namespace tarnwick::fuzz
