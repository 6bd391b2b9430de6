#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick {

// Reads the C strings of an application's main executable, lower-cased.
class BinaryStringsParser {
public:
    virtual ~BinaryStringsParser() = default;
    // Empty on any failure.
    virtual std::vector<std::string> parse(const std::filesystem::path& bundleURL) const = 0;
};

}  // namespace tarnwick
