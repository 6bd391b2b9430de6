#include "FeedbackForm/KVBDefaultSystemProfileProvider.h"
#include "fuzz/FuzzEntries.h"

#include <string_view>

// Entry for a fuzzer of what the profile reads from outside: the journal's JSON lines and a
// defaults domain's document.
namespace tarnwick::fuzz {

int fuzzJournalOutput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)KVBDefaultSystemProfileProvider::journalLines(text);
    (void)KVBDefaultSystemProfileProvider::preferencesDescription(text);
    return 0;
}

}  // namespace tarnwick::fuzz
