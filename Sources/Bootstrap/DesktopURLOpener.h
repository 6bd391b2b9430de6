#pragma once

#include "Screens/Presenters/InterfacePresenters.h"

#include <QStringList>

namespace tarnwick {

// Opens web and mail addresses in the desktop's handlers, and the location settings page the
// map links to in the desktop's settings program where one is installed. Other schemes, such as
// the other system settings pages the models link to, have no counterpart on the desktop:
// nothing is opened for them and the answer is false.
class DesktopURLOpener final : public URLOpener {
public:
    // Where settings programs are looked for; empty: the PATH.
    explicit DesktopURLOpener(QStringList programFolders = {});

    bool open(const std::string& url) override;

private:
    bool openLocationSettings() const;

    QStringList m_programFolders;
};

}  // namespace tarnwick
