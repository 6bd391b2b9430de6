#pragma once

#include "BinaryStringsParser.h"

#include <cstdint>
#include <span>

namespace tarnwick {

// The strings of the "__cstring" section of the bundle's executable, from its x86-64 slice, else
// its first: the file is memory-mapped and only that one section is walked. Given an ELF
// executable instead of a bundle, the strings of its read-only string data. Strings that are not
// UTF-8 are skipped; the others come back lower-cased, in section order.
class BinaryStringsParserImpl final : public BinaryStringsParser {
public:
    CStringList parse(const std::filesystem::path& bundleURL) const override;

    // The same for an executable file itself.
    static CStringList parseExecutable(const std::filesystem::path& executable);
    // The NUL-terminated strings of a section's bytes; an unterminated tail is left out.
    static CStringList cStrings(std::span<const std::uint8_t> bytes);

private:
    static CStringList readStrings(const std::filesystem::path& executable);
};

}  // namespace tarnwick
