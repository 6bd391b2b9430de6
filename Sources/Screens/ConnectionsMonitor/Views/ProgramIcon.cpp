#include "Screens/ConnectionsMonitor/Views/ProgramIcon.h"

#include "Tools/WorkspaceUtilities.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/ThemeIcon.h"
#include "Workspace/Workspace.h"

#include <cmath>

namespace tarnwick {

QPixmap programIconPixmap(const std::optional<std::string>& bundleIdentifier, int size,
                          qreal devicePixelRatio,
                          const std::optional<std::filesystem::path>& bundlePath) {
    QPixmap pixmap;
    const auto loadBundleIcon = [&pixmap](const std::filesystem::path& bundle) {
        if (const auto image = Workspace::shared().iconForFile(bundle)) {
            pixmap.loadFromData(image->png.data(), static_cast<uint>(image->png.size()), "PNG");
        }
    };
    if (bundlePath) {
        loadBundleIcon(*bundlePath);
    }
    if (pixmap.isNull() && bundleIdentifier) {
        const auto running = runningApplication(Workspace::shared(), *bundleIdentifier);
        if (running && running->bundleURL) {
            loadBundleIcon(*running->bundleURL);
        }
        if (pixmap.isNull()) {
            pixmap = ThemeIcon::pixmap(*bundleIdentifier,
                                       static_cast<int>(std::ceil(size * devicePixelRatio)));
        }
    }
    if (pixmap.isNull()) {
        return ImageAsset::pixmap("commandLineApp", QSize(size, size), devicePixelRatio);
    }
    return pixmap.scaled(QSize(size, size) * devicePixelRatio, Qt::KeepAspectRatio,
                         Qt::SmoothTransformation);
}

}  // namespace tarnwick
