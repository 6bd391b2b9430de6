#include "QualityOfService.h"

namespace tarnwick {

std::string_view qualityOfServiceName(QualityOfService qos) {
    switch (qos) {
        case QualityOfService::userInteractive:
            return "user-interactive";
        case QualityOfService::userInitiated:
            return "user-initiated";
        case QualityOfService::standard:
            return "default";
        case QualityOfService::utility:
            return "utility";
        case QualityOfService::background:
            return "background";
        case QualityOfService::unspecified:
            return "unspecified";
    }
    return "unspecified";
}

}  // namespace tarnwick
