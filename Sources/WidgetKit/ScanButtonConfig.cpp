#include "WidgetKit/ScanButtonConfig.h"

#include "WidgetKit/InterfaceText.h"

namespace tarnwick {

namespace {

std::optional<std::string> entry(const ScanButtonConfig::Triple& triple, ScanState state) {
    switch (state) {
        case ScanState::standBy:
            return triple.standBy;
        case ScanState::active:
            return triple.active;
        case ScanState::done:
            return triple.done;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ScanButtonConfig::Face> ScanButtonConfig::face(ScanState state) const {
    auto icon = entry(icons, state);
    auto title = entry(titles, state);
    if (!icon || !title) {
        return std::nullopt;
    }
    return Face{std::move(*icon), std::move(*title)};
}

ScanState ScanButtonConfig::requestedState(ScanState current) {
    return current == ScanState::active ? ScanState::standBy : ScanState::active;
}

ScanButtonConfig ScanButtonConfig::appMonitor() {
    namespace IT = InterfaceText;
    return {{std::string(IT::scanImage), std::nullopt, std::string(IT::rescanImage)},
            {std::string(IT::scanButtonAppMonitorStandBy), std::nullopt,
             std::string(IT::scanButtonAppMonitorDone)}};
}

ScanButtonConfig ScanButtonConfig::connectionsMonitor() {
    namespace IT = InterfaceText;
    return {{std::string(IT::scanImage), std::string(IT::stopImage), std::nullopt},
            {std::string(IT::scanButtonConnectionsStandBy),
             std::string(IT::scanButtonConnectionsActive), std::nullopt}};
}

}  // namespace tarnwick
