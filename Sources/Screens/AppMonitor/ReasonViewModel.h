#pragma once

#include "Tools/DetectionReason.h"

#include <optional>
#include <string>

namespace tarnwick {

// One reason line of a found application: the reason's sentence, and for the hosts found in the
// executable a block that lists them.
class ReasonViewModel {
public:
    struct AdditionalDescription {
        std::string title;
        std::string details;

        bool operator==(const AdditionalDescription&) const = default;
    };

    explicit ReasonViewModel(const DetectionReason& reason);

    const std::string& title() const { return m_title; }
    const std::optional<AdditionalDescription>& additionalDescription() const {
        return m_additionalDescription;
    }

private:
    std::string m_title;
    std::optional<AdditionalDescription> m_additionalDescription;
};

}  // namespace tarnwick
