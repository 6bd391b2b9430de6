#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwick {

// Why a stored JSON document could not be read back, and where in it. Readers throw it; the
// stores that own a document catch it and fall back to their defaults.
class DecodingError : public std::runtime_error {
public:
    enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

    DecodingError(Kind kind, std::vector<std::string> codingPath, const std::string& description);

    Kind kind() const { return m_kind; }
    // The keys (and array indexes) from the document's root to the value that failed.
    const std::vector<std::string>& codingPath() const { return m_codingPath; }
    std::string debugDescription() const { return what(); }

private:
    Kind m_kind;
    std::vector<std::string> m_codingPath;
};

}  // namespace tarnwick
