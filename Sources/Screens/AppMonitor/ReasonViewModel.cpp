#include "ReasonViewModel.h"

namespace tarnwick {

ReasonViewModel::ReasonViewModel(const DetectionReason& reason)
    : m_title(reason.descriptionText()) {
    if (reason.reasonCase() == DetectionReason::Case::binaryURLs) {
        std::string details;
        for (const auto& host : reason.hosts()) {
            if (!details.empty()) {
                details += '\n';
            }
            details += host;
        }
        m_additionalDescription = AdditionalDescription{
            "Application binary contains hosts originating from " + reason.value() + ":",
            std::move(details)};
    }
}

}  // namespace tarnwick
