#pragma once

#include <string_view>

namespace tarnwick {

// The urgency a queue's work is meant to have. Our worker pool does not reorder by it; it is kept
// so that queues carry the class their owners asked for and can report it.
enum class QualityOfService {
    userInteractive,
    userInitiated,
    standard,  // the platform's "default" class; `default` is a C++ keyword
    utility,
    background,
    unspecified,
};

std::string_view qualityOfServiceName(QualityOfService qos);

}  // namespace tarnwick
