#pragma once

#include <string>

namespace tarnwick {

// The three values a report cannot go without, once checked.
struct KVBValidatedParameters {
    std::string email;
    std::string subject;
    std::string details;
};

}  // namespace tarnwick
