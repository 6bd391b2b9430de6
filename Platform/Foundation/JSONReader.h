#pragma once

#include "Result.h"
#include "Value.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwick {

// Reads JSON that comes from outside: link frames, settings files, stored documents. The parser
// itself keeps its nesting on the heap, but copying, comparing, writing and turning a document
// into values recurse once per level, so a document nested deeper than `maximumDepth` arrays and
// objects is refused here, before anything walks it.
class JSONReader {
public:
    JSONReader() = delete;

    // The document, or why it was refused: a syntax error with its place, or too deep a nesting.
    static Result<nlohmann::json, std::string> parse(
        std::string_view text, std::size_t maximumDepth = Value::kMaximumDepth);
};

}  // namespace tarnwick
