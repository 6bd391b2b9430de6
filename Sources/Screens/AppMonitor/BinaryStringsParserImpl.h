#pragma once

#include "BinaryStringsParser.h"

#include <cstdint>
#include <optional>

namespace tarnwick {

// The strings of the "__cstring" section of the bundle's executable, from its x86-64 slice, else
// its first: only its headers and that one section are read, the section once, into the list
// that keeps it. Given an ELF executable instead of a bundle, the strings of its read-only string
// data. Strings that are not UTF-8 are skipped; the others come back lower-cased, in section
// order. What one file's strings take is granted by the StringReadBudget first.
class BinaryStringsParserImpl final : public BinaryStringsParser {
public:
    // Biggest string data taken from one executable, ELF or Mach-O alike: what lies past it is
    // left unread, so one huge file costs bounded memory.
    static constexpr std::uint64_t kMaximumStringBytes = 32ull << 20;

    CStringList parse(const std::filesystem::path& bundleURL) const override;

    // The same for an executable file itself.
    static CStringList parseExecutable(const std::filesystem::path& executable);

private:
    // The string data of an ELF executable, or the "__cstring" section of a Mach-O one.
    static std::optional<CStringList::Bytes> readStringData(
        const std::filesystem::path& executable);
};

}  // namespace tarnwick
