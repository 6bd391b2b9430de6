#include "Dispatch/DispatchQueue.h"
#include "EngineServices.h"
#include "Foundation/UserDefaults.h"
#include "MapKit/CityIndex.h"
#include "MapKit/MKMapView.h"
#include "Network/ManualPathSource.h"
#include "Network/PathMonitor.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/ConnectionsMonitor/MapViewCoordinator.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"
#include "Screens/Settings/SettingsViewModel.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace tarnwick {
namespace {

constexpr int kApplications = 200;
constexpr int kServersPerApplication = 25;  // 5,000 servers in all

// A model with 200 applications of 25 servers each, spread over the globe, over a settings file
// of its own; nothing is looked up.
struct Screen {
    Screen() {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("tarnwick-screen-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        UserDefaults::standard().resetForTesting(folder / "settings.json");
        model = ConnectionsMonitorViewModel::create(engineServices(processSettingsModel()));
        DispatchQueue::main()->drainMain();

        auto environment = std::make_shared<HitEnvironment>();
        std::mt19937 random(7);
        std::uniform_real_distribution<double> latitude(-60, 70);
        std::uniform_real_distribution<double> longitude(-180, 180);
        ConnectionsMonitorViewModel::ApplicationList applications;
        for (int a = 0; a < kApplications; ++a) {
            auto application = std::make_shared<Application>(
                Application::FlowInfo{{"bundleId", "org.bench.App" + std::to_string(a)}},
                Workspace::shared(), environment);
            for (int s = 0; s < kServersPerApplication; ++s) {
                const std::string address =
                    "198.51." + std::to_string(a % 250) + "." + std::to_string(s);
                application->addHit({{"remoteAddress", address},
                                     {"url", "https://s" + std::to_string(s) + ".example.org/"}},
                                    true);
                application->children.get().back()->handleWhoisResult(WhoIs::Response{
                    address, "DE",
                    WhoIs::Response::Coordinates{latitude(random), longitude(random)}, false});
            }
            applications.push_back(application);
        }
        model->setApplications(applications);
        model->setExpandedInfoForApp(applications.front());
        view = std::make_unique<ConnectionsMonitorInProgressView>(model, nullptr);
        view->resize(1000, 640);
        view->show();
        QApplication::processEvents();
    }
    std::shared_ptr<ConnectionsMonitorViewModel> model;
    std::unique_ptr<ConnectionsMonitorInProgressView> view;
};

Screen& screen() {
    static Screen* shared = new Screen();
    return *shared;
}

// One model update (the list published again, as after a new hit or a filter change) and the
// frame it leads to.
void BM_ListUpdateAndRedraw(benchmark::State& state) {
    Screen& s = screen();
    QImage frame(s.view->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        s.model->setApplications(s.model->applications());
        QApplication::processEvents();
        QPainter painter(&frame);
        s.view->render(&painter);
    }
}
BENCHMARK(BM_ListUpdateAndRedraw)->Unit(benchmark::kMillisecond);

std::shared_ptr<const WorldAtlas> atlas() {
    static const auto shared = [] {
        auto read = WorldAtlas::read(TARNWICK_WORLD_ATLAS);
        return read ? std::make_shared<const WorldAtlas>(std::move(read).value()) : nullptr;
    }();
    return shared;
}

// The first frame of a new map panel with every country and nothing on it.
void BM_FirstMapFrameCountries(benchmark::State& state) {
    auto scene = std::make_shared<MapScene>();
    MKMapView::Appearance look;
    QImage frame(600, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        MKMapView map(scene, atlas(), look);
        map.resize(600, 600);
        QPainter painter(&frame);
        map.render(&painter);
    }
}
BENCHMARK(BM_FirstMapFrameCountries)->Unit(benchmark::kMillisecond);

// The first frame of a new map panel: every country and the servers of `state.range(0)`
// applications with their circles, lines and arcs (the map shows the expanded application's; all
// 200 is the stress case of 5,000 servers at once).
void BM_FirstMapFrame(benchmark::State& state) {
    auto scene = std::make_shared<MapScene>();
    MapViewCoordinator coordinator(scene, {});
    coordinator.setUserLocation(MapCoordinator::Coordinates{52.5, 13.4});
    std::vector<std::shared_ptr<Hit>> hits;
    const auto& applications = screen().model->applications();
    for (std::size_t a = 0; a < static_cast<std::size_t>(state.range(0)); ++a) {
        const auto children = applications[a]->children.get();
        hits.insert(hits.end(), children.begin(), children.end());
    }
    coordinator.update(hits, true);
    MKMapView::Appearance look;
    look.color = [](std::string_view) { return QColor(80, 90, 200); };
    QImage frame(600, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        MKMapView map(scene, atlas(), look);
        map.resize(600, 600);
        map.setVisibleMapRect(MKMapRect::world(), false);
        QPainter painter(&frame);
        map.render(&painter);
    }
    state.counters["servers"] = static_cast<double>(scene->hitAnnotations().size());
}
BENCHMARK(BM_FirstMapFrame)->Arg(1)->Arg(kApplications)->Unit(benchmark::kMillisecond);

// A city look-up at positions near real cities.
void BM_CityLookup(benchmark::State& state) {
    static const auto index = CityIndex::read(TARNWICK_CITY_TABLE);
    if (!index) {
        state.SkipWithError(index.error().c_str());
        return;
    }
    std::mt19937 random(11);
    std::uniform_real_distribution<double> latitude(-50, 65);
    std::uniform_real_distribution<double> longitude(-180, 180);
    std::vector<CLLocationCoordinate2D> positions(4096);
    for (auto& position : positions) {
        position = {latitude(random), longitude(random)};
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index->cityName(positions[i++ & 4095]));
    }
}
BENCHMARK(BM_CityLookup);

}  // namespace
}  // namespace tarnwick
