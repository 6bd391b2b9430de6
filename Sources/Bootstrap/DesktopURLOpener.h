#pragma once

#include "Screens/Presenters/InterfacePresenters.h"

namespace tarnwick {

// Opens web and mail addresses in the desktop's handlers. Other schemes, such as the system
// settings pages the models link to, have no counterpart on the desktop: nothing is opened for
// them and the answer is false.
class DesktopURLOpener final : public URLOpener {
public:
    bool open(const std::string& url) override;
};

}  // namespace tarnwick
