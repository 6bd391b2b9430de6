#include "DecodingError.h"

namespace tarnwick {

DecodingError::DecodingError(Kind kind, std::vector<std::string> codingPath,
                             const std::string& description)
    : std::runtime_error(description), m_kind(kind), m_codingPath(std::move(codingPath)) {}

}  // namespace tarnwick
