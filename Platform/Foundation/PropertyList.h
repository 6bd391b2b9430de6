#pragma once

#include "Result.h"
#include "Value.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarnwick {

// Reading and writing property lists, XML or binary. The files read are often another program's
// (the Info.plist of any folder a process runs from), so reading refuses, with the reason, what
// is not a property list and what is larger or deeper than any real one.
class PropertyList {
public:
    // Info.plist files are kilobytes; a larger document is refused without being read.
    static constexpr std::size_t kMaximumSize = std::size_t{4} << 20;

    static Result<Value, std::string> parse(std::string_view bytes);
    static Result<Value, std::string> read(const std::filesystem::path& file);
    static std::string toXml(const Value& value);
    // The binary form ("bplist00").
    static std::string toBinary(const Value& value);
};

}  // namespace tarnwick
