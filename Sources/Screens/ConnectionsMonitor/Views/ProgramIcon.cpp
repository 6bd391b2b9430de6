#include "Screens/ConnectionsMonitor/Views/ProgramIcon.h"

#include "Shell/Views/Style/ImageAsset.h"
#include "Tools/WorkspaceUtilities.h"
#include "Workspace/Workspace.h"

#include <QIcon>

namespace tarnwick {

QPixmap programIconPixmap(const std::optional<std::string>& bundleIdentifier, int size,
                          qreal devicePixelRatio) {
    QPixmap pixmap;
    if (bundleIdentifier) {
        const auto running = runningApplication(Workspace::shared(), *bundleIdentifier);
        if (running && running->bundleURL) {
            if (const auto image = Workspace::shared().iconForFile(*running->bundleURL)) {
                pixmap.loadFromData(image->png.data(), static_cast<uint>(image->png.size()), "PNG");
            }
        }
        if (pixmap.isNull()) {
            const QIcon themed = QIcon::fromTheme(QString::fromStdString(*bundleIdentifier));
            if (!themed.isNull()) {
                pixmap = themed.pixmap(QSize(size, size), devicePixelRatio);
            }
        }
    }
    if (pixmap.isNull()) {
        return ImageAsset::pixmap("commandLineApp", QSize(size, size), devicePixelRatio);
    }
    return pixmap.scaled(QSize(size, size) * devicePixelRatio, Qt::KeepAspectRatio,
                         Qt::SmoothTransformation);
}

}  // namespace tarnwick
