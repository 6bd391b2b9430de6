// The engine host with the Connections Monitor screen over it, for the end-to-end screenshot test:
// the screen's own Start button switches the monitor on, the application with the most servers is
// expanded, and after each change of the tree the window and its map are saved as
//
//   <folder>/connections-monitor-live.png      the window: the list and the map
//   <folder>/connections-monitor-live-map.png  the map panel alone
//
// and "rows <address>=<dot colour>..." (the server rows the list shows) and "screenshot <n>" are
// printed (n counts the saves). Before each press of Start the window is saved too:
//
//   <folder>/connections-monitor-ready.png         before the first press ("ready <title>
//   <status>") <folder>/connections-monitor-after-cancel.png  after a cancelled explanation ("after
//   cancel ...") <folder>/connections-monitor-quiet.png         `--quiet-picture-after <ms>` of
//   running without
//                                                  a connection ("quiet <title> <status>")
//
// Its other arguments and output are the engine host's, with `--screenshots <folder>` and
// `--atlas <countries file>` added.

#include "EngineHost.h"
#include "Logging/ConsoleDestination.h"
#include "Logging/LogHub.h"
#include "QtSupport/MainQueueBridge.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/MapViewCoordinator.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorHitCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorHeader.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"
#include "Screens/ConnectionsMonitor/Views/MapView.h"
#include "WidgetKit/Controls/ScanButtonView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

namespace tarnwick::testing {
namespace {

using namespace Qt::StringLiterals;

class Screen final : public EngineHostScreen {
public:
    Screen(QString folder, std::shared_ptr<const WorldAtlas> atlas,
           std::chrono::milliseconds quietFor, bool withoutLocation)
        : m_folder(std::move(folder))
        , m_atlas(std::move(atlas))
        , m_quietFor(quietFor)
        , m_withoutLocation(withoutLocation) {
        QDir().mkpath(m_folder);
    }

    void show(std::shared_ptr<ConnectionsMonitorViewModel> model) override {
        m_model = model;
        m_scene = std::make_shared<MapScene>();
        m_scene->setShowsUserLocation(true);
        m_coordinator = std::make_shared<MapViewCoordinator>(
            m_scene, [](const CLLocationCoordinate2D& at) -> std::optional<std::string> {
                return at.latitude > 54 ? "Moscow" : "Berlin";
            });
        model->setMapCoordinator(m_coordinator);
        if (m_withoutLocation) {
            // A desktop without a location service: the user activates the map all the same.
            model->showMap();
        } else {
            // The user is in Lisbon and has allowed the map.
            m_coordinator->setUserLocation(MapCoordinator::Coordinates{38.72, -9.14});
            model->showsMap.set(true);
        }

        ConnectionMonitorView::Services services;
        services.makeMap = [scene = m_scene, atlas = m_atlas](QWidget* parent) {
            return new MapView(scene, atlas, parent);
        };
        m_window = std::make_unique<ConnectionMonitorView>(model, services);
        m_window->setWindowTitle(QStringLiteral("Tarnwick"));
        m_window->setAutoFillBackground(true);
        m_window->resize(1100, 680);
        m_window->show();
        (void)QTest::qWaitForWindowExposed(m_window.get());
        // The user presses Start once the screen has found the filter stopped; when the first
        // explanation is cancelled, the screen is pictured and Start pressed again.
        auto* press = new QTimer(m_window.get());
        QObject::connect(press, &QTimer::timeout, m_window.get(), [this, press] {
            auto* button = m_window->header()->scanButton()->button();
            // Not while the first look at the filter is still configuring it.
            if (m_model->status.get() != ConnectionsMonitorViewModel::Status::stopped ||
                m_model->isConfiguringExtensionForFirstTime().get() || !button ||
                !button->isEnabled() || !button->isVisible()) {
                return;
            }
            if (m_presses == 0) {
                picture(u"connections-monitor-ready"_s, "ready");
            } else if (!m_model->didInitiate.get()) {
                picture(u"connections-monitor-after-cancel"_s, "after cancel");
            } else {
                return;
            }
            ++m_presses;
            QTest::mouseClick(button, Qt::LeftButton);
            std::puts("pressed Start");
            std::fflush(stdout);
        });
        press->start(1500);
        // Once running, and after `quietFor` without a connection, the screen is pictured.
        if (m_quietFor.count() > 0) {
            auto* quiet = new QTimer(m_window.get());
            QObject::connect(quiet, &QTimer::timeout, m_window.get(), [this, quiet] {
                if (m_model->status.get() != ConnectionsMonitorViewModel::Status::running) {
                    return;
                }
                quiet->stop();
                QTimer::singleShot(m_quietFor, m_window.get(),
                                   [this] { picture(u"connections-monitor-quiet"_s, "quiet"); });
            });
            quiet->start(100);
        }
    }

    void treeChanged() override {
        if (!m_window) {
            return;  // the tree of the start, before the screen is shown
        }
        // The application that reached the most servers is the one the user looks at.
        std::shared_ptr<Application> widest;
        for (const auto& application : m_model->applications()) {
            if (!widest || application->children.get().size() > widest->children.get().size()) {
                widest = application;
            }
        }
        if (widest && widest != m_model->expandedInfoForApp().get()) {
            m_model->setExpandedInfoForApp(widest);
        }
        // Saved once the rows and the map's move have settled.
        QTimer::singleShot(800, m_window.get(), [this] { save(); });
    }

    void run() override { QApplication::exec(); }
    void stop() override { QApplication::quit(); }

private:
    // Saves the window as <name>.png and prints "<label> <button title> <status>".
    void picture(const QString& name, const char* label) {
        m_window->grab().save(m_folder + u"/"_s + name + u".png"_s);
        const auto* button = m_window->header()->scanButton()->button();
        std::printf(
            "%s %s %s\n", label,
            button && button->isVisible() ? button->text().toStdString().c_str() : "(no button)",
            statusName());
        std::fflush(stdout);
    }
    const char* statusName() const {
        switch (m_model->status.get()) {
            case ConnectionsMonitorViewModel::Status::stopped:
                return "stopped";
            case ConnectionsMonitorViewModel::Status::configuring:
                return "configuring";
            case ConnectionsMonitorViewModel::Status::indeterminate:
                return "indeterminate";
            case ConnectionsMonitorViewModel::Status::running:
                return "running";
        }
        return "unknown";
    }

    void save() {
        const QString suffix = m_withoutLocation ? u"-without-location"_s : QString();
        m_window->grab().save(m_folder + u"/connections-monitor-live"_s + suffix + u".png"_s);
        if (auto* map = m_window->findChild<MapView*>(); map && map->isVisible()) {
            map->grab().save(m_folder + u"/connections-monitor-live-map"_s + suffix + u".png"_s);
        }
        // What the map panel says of the user's position, when it says anything.
        if (const auto* view = m_window->findChild<ConnectionsMonitorInProgressView*>();
            view && view->mapNote()->isVisible()) {
            std::printf("note %s\n", view->mapNote()->text().toStdString().c_str());
        }
        // What the list shows, row by row: the server and the colour of its dot.
        std::string rows;
        for (const auto* row : m_window->findChildren<ConnectionMonitorHitCellView*>()) {
            rows +=
                " " + row->addressText().toStdString() + "=" + row->statusColorName().toStdString();
        }
        std::printf("rows%s\n", rows.c_str());
        std::printf("screenshot %d\n", ++m_saves);
        std::fflush(stdout);
    }

    QString m_folder;
    std::shared_ptr<const WorldAtlas> m_atlas;
    std::chrono::milliseconds m_quietFor;
    bool m_withoutLocation;
    int m_presses = 0;
    std::shared_ptr<ConnectionsMonitorViewModel> m_model;
    std::shared_ptr<MapScene> m_scene;
    std::shared_ptr<MapViewCoordinator> m_coordinator;
    std::unique_ptr<ConnectionMonitorView> m_window;
    int m_saves = 0;
};

}  // namespace
}  // namespace tarnwick::testing

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int index = 1; index + 1 < argc; index += 2) {
        options[argv[index]] = argv[index + 1];
    }
    QApplication application(argc, argv);
    tarnwick::MainQueueBridge::install();
    tarnwick::LogHub::addDestination(std::make_shared<tarnwick::ConsoleDestination>());
    std::shared_ptr<const tarnwick::WorldAtlas> atlas;
    if (auto read = tarnwick::WorldAtlas::read(options["--atlas"])) {
        atlas = std::make_shared<const tarnwick::WorldAtlas>(std::move(read).value());
    }
    const auto quietFor = std::chrono::milliseconds(
        options.count("--quiet-picture-after") ? std::stoi(options["--quiet-picture-after"]) : 0);
    tarnwick::testing::Screen screen(QString::fromStdString(options["--screenshots"]), atlas,
                                     quietFor, options["--without-location"] == "yes");
    const int status = tarnwick::testing::runEngineHost(argc, argv, &screen);
    tarnwick::MainQueueBridge::uninstall();
    return status;
}
