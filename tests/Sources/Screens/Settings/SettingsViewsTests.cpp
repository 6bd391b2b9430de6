#include "Dispatch/DispatchQueue.h"
#include "Dispatch/ManualScheduler.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/AllowDenyListCellView.h"
#include "Screens/Settings/Views/AllowancesListView.h"
#include "Screens/Settings/Views/CountryGridModel.h"
#include "Screens/Settings/Views/DetectionLevelView.h"
#include "Screens/Settings/Views/EntryListModel.h"
#include "Screens/Settings/Views/RestrictionsView.h"
#include "Screens/Settings/Views/ScaledTextLabel.h"
#include "Screens/Settings/Views/SettingsHeader.h"
#include "Screens/Settings/Views/SettingsRestrictionRuleCell.h"
#include "Screens/Settings/Views/SettingsTabButtonView.h"
#include "Screens/Settings/Views/SettingsView.h"
#include "Screens/Settings/Views/TargetCoutriesView.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindow.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "WidgetKit/Controls/FilterTextField.h"
#include "WidgetKit/Controls/ScrollGradientView.h"
#include "support/MainWindowDependencies.h"
#include "support/ModelDependencies.h"
#include "support/TemporarySettings.h"

#include <QAbstractItemModelTester>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick::testing {
namespace {

using namespace Qt::StringLiterals;

// A settings screen over a model on a fresh settings file; `restart` makes the model anew from
// the file, as the next launch would.
class SettingsScreen : public ::testing::Test {
public:
    SettingsScreen() { start(); }

    void start() {
        m_view.reset();
        m_model.reset();
        m_preferences = std::make_unique<Preferences>();
        m_countries = std::make_unique<UndesirableCountriesManager>();
        m_model = std::make_shared<SettingsViewModel>(
            testing::settingsDependencies(*m_preferences, *m_countries));
        m_view = std::make_unique<SettingsView>(
            m_model, std::vector<SettingsTab>(allSettingsTabs.begin(), allSettingsTabs.end()));
        m_view->resize(1000, 640);
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void restart() {
        // Target countries are saved on the main queue's next turn: a block queued now runs
        // after the save.
        bool saved = false;
        DispatchQueue::main()->async([&] { saved = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return saved; }, 10000));
        m_settings.relaunch();
        start();
    }

    template <typename Body>
    Body* openTab(SettingsTab tab) {
        QTest::mouseClick(m_view->tabButton(tab), Qt::LeftButton);
        QApplication::processEvents();
        return qobject_cast<Body*>(m_view->body());
    }
    std::vector<std::string> targetCountries() const {
        std::vector<std::string> codes;
        for (const auto& country : m_countries->currentUndesirableCountries()) {
            codes.push_back(country.countryCode());
        }
        return codes;
    }
    std::size_t storedRuleCount() const {
        return nlohmann::json::parse(m_settings.storedText(SettingsKey::restrictions))
            .at("restrictions")
            .size();
    }

    TemporarySettings m_settings;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<UndesirableCountriesManager> m_countries;
    std::shared_ptr<SettingsViewModel> m_model;
    std::unique_ptr<SettingsView> m_view;
};

TEST_F(SettingsScreen, TabButtonsSwitchTheBodyThroughTheModel) {
    ASSERT_NE(qobject_cast<RestrictionsView*>(m_view->body()), nullptr);
    EXPECT_TRUE(m_view->tabButton(SettingsTab::restrictions)->isSelected());
    QWidget* shown = m_view->body();
    // The selected tab again changes nothing.
    EXPECT_EQ(openTab<RestrictionsView>(SettingsTab::restrictions), shown);

    struct Row {
        SettingsTab tab;
        const char* body;
    };
    for (const auto& row : {Row{SettingsTab::targetCoutries, "TargetCoutriesView"},
                            Row{SettingsTab::connectionsList, "AllowancesListView"},
                            Row{SettingsTab::restrictions, "RestrictionsView"}}) {
        SCOPED_TRACE(row.body);
        QTest::mouseClick(m_view->tabButton(row.tab), Qt::LeftButton);
        EXPECT_EQ(m_model->currentTab.get(), row.tab);
        EXPECT_EQ(m_view->body()->objectName().toStdString(), row.body);
        for (const SettingsTab other : allSettingsTabs) {
            auto* button = m_view->tabButton(other);
            EXPECT_EQ(button->isSelected(), other == row.tab);
            EXPECT_EQ(button->labelFont().weight(),
                      other == row.tab ? QFont::DemiBold : QFont::Normal);
        }
    }
    // The model, not the screen, holds the tab.
    m_model->currentTab = SettingsTab::connectionsList;
    EXPECT_NE(qobject_cast<AllowancesListView*>(m_view->body()), nullptr);
}

void hover(QWidget* widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), widget->mapToGlobal(QPointF(1, 1)));
        QApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
    }
}

TEST_F(SettingsScreen, HoveringGrowsWhatCanBeClickedAndNothingElse) {
    auto* button = m_view->tabButton(SettingsTab::targetCoutries);
    hover(button, true);
    EXPECT_TRUE(button->isHovered());
    EXPECT_TRUE(QTest::qWaitFor([&] { return button->labelScale() == 1.02; }, 2000));
    hover(button, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return button->labelScale() == 1.0; }, 2000));

    auto* tab = qobject_cast<RestrictionsView*>(m_view->body());
    ASSERT_NE(tab, nullptr);
    for (auto* cell : {tab->requiredCells().front(), tab->additionalCells().front()}) {
        SCOPED_TRACE(cell->label().toStdString());
        hover(cell, true);
        EXPECT_EQ(cell->isHovered(), !cell->isDisabled());
        const double grown = cell->isDisabled() ? 1.0 : 1.01;
        EXPECT_TRUE(QTest::qWaitFor([&] { return cell->labelScale() == grown; }, 2000));
        hover(cell, false);
        EXPECT_TRUE(QTest::qWaitFor([&] { return cell->labelScale() == 1.0; }, 2000));
    }

    // The level menu stays open until the pointer has been in it and leaves.
    DetectionLevelView* level = tab->detectionLevelView();
    QTest::mouseClick(level->pill(), Qt::LeftButton);
    ASSERT_TRUE(level->isExpanded());
    hover(level->menu(), true);
    EXPECT_TRUE(level->isExpanded());
    hover(level->menu(), false);
    EXPECT_FALSE(level->isExpanded());
    EXPECT_TRUE(level->pill()->isVisible());
}

TEST_F(SettingsScreen, TheKeyboardPicksRulesAndCountries) {
    auto* tab = qobject_cast<RestrictionsView*>(m_view->body());
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->requiredCells().front()->focusPolicy(), Qt::NoFocus);
    auto* cell = tab->additionalCells().back();
    const bool before = cell->isChecked();
    QTest::keyClick(cell, Qt::Key_Space);
    EXPECT_NE(cell->isChecked(), before);
    EXPECT_EQ(m_model->isRestrictionSelected(cell->rule()), !before);

    auto* countries = openTab<TargetCoutriesView>(SettingsTab::targetCoutries);
    ASSERT_NE(countries, nullptr);
    // The first country after the two selected ones.
    countries->grid()->setCurrentIndex(countries->gridModel()->index(2));
    const std::string code = countries->gridModel()->country(2).countryCode();
    QTest::keyClick(countries->grid(), Qt::Key_Return);
    EXPECT_EQ(targetCountries(), (std::vector<std::string>{"RU", "BY", code}));
}

// The window's own background, painted by hand as the main view paints it, not through the palette.
class PaintedBackground : public QWidget {
public:
    static inline const QColor colour{0xFF, 0x00, 0xFF};

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour); }
};

TEST_F(SettingsScreen, TheRuleListShowsTheWindowUnderItAndFadesOnlyWhereItScrolls) {
    m_view.reset();
    PaintedBackground window;
    auto* view = new SettingsView(
        m_model, std::vector<SettingsTab>(allSettingsTabs.begin(), allSettingsTabs.end()), {},
        &window);
    auto* list = view->findChild<QScrollArea*>(u"additionalRules"_s);
    ASSERT_NE(list, nullptr);
    const auto fades = list->findChildren<ScrollGradientView*>();
    ASSERT_EQ(fades.size(), 2);
    const auto shownFades = [&] {
        int shown = 0;
        for (const auto* fade : fades) {
            shown += fade->isVisible() ? 1 : 0;
        }
        return shown;
    };

    // Tall enough for every rule: nothing scrolls, no band, and under the last rule the window.
    window.resize(1800, 1400);
    view->resize(window.size());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->verticalScrollBar()->maximum() == 0; }));
    EXPECT_EQ(shownFades(), 0);
    const QImage picture = window.grab().toImage();
    const QPoint empty = list->mapTo(&window, QPoint(list->width() / 2, list->height() - 120));
    EXPECT_EQ(picture.pixelColor(empty), PaintedBackground::colour)
        << picture.pixelColor(empty).name().toStdString();

    // Every rule in sight, only the padding under the last one out of it: no band makes the last
    // rules look disabled.
    const int viewport = list->viewport()->height();
    const int content = list->widget()->minimumSizeHint().height();
    ASSERT_GT(content, 100);
    window.resize(1800, window.height() - (viewport - (content - 30)));
    view->resize(window.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->verticalScrollBar()->maximum() > 0; }));
    EXPECT_LT(list->verticalScrollBar()->maximum(), 60);
    EXPECT_EQ(shownFades(), 0);

    // Short: the bottom fade over the rules below, the top one only once scrolled down.
    window.resize(1000, 420);
    view->resize(window.size());
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->verticalScrollBar()->maximum() > 0; }));
    EXPECT_FALSE(fades.front()->isVisible()) << "top, at the top";
    EXPECT_TRUE(fades.back()->isVisible()) << "bottom, with rules below";
    auto* bar = list->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    EXPECT_EQ(shownFades(), 2);
    bar->setValue(bar->maximum());
    EXPECT_EQ(shownFades(), 1);
}

TEST_F(SettingsScreen, TabsComeInTheGivenOrder) {
    SettingsView view(m_model, {SettingsTab::connectionsList, SettingsTab::restrictions});
    EXPECT_EQ(view.tabButton(SettingsTab::targetCoutries), nullptr);
    const auto* first = view.tabButton(SettingsTab::connectionsList);
    const auto* second = view.tabButton(SettingsTab::restrictions);
    view.resize(1000, 640);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_LT(first->y(), second->y());
    EXPECT_EQ(first->label(), u"Connections"_s);
}

TEST_F(SettingsScreen, RequiredRulesStayOnAndAdditionalRulesAreStoredAsClicked) {
    auto* tab = qobject_cast<RestrictionsView*>(m_view->body());
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(tab->requiredCells().size(), 6u);
    m_model->setDetectionLevel(DetectionLevel::minimum);
    for (auto* cell : tab->requiredCells()) {
        QTest::mouseClick(cell, Qt::LeftButton);
        EXPECT_TRUE(cell->isChecked());
        EXPECT_TRUE(cell->isDisabled());
    }
    EXPECT_EQ(m_settings.storedText(SettingsKey::restrictions), R"({"restrictions":[]})");

    auto* first = tab->additionalCells().at(0);
    auto* second = tab->additionalCells().at(1);
    EXPECT_FALSE(first->isDisabled());
    QTest::mouseClick(second, Qt::LeftButton);
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(4, first->height() / 2));
    EXPECT_TRUE(first->isChecked());
    EXPECT_EQ(m_model->selectedRestrictions().get(),
              (std::vector<RestrictionPreference>{second->rule(), first->rule()}));
    EXPECT_EQ(storedRuleCount(), 2u);
    EXPECT_EQ(tab->detectionLevelView()->pillText(), u"GOOD ☺️"_s);
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_EQ(storedRuleCount(), 1u);

    const RestrictionPreference kept = first->rule();
    restart();
    EXPECT_EQ(m_model->selectedRestrictions().get(), std::vector<RestrictionPreference>{kept});
    tab = qobject_cast<RestrictionsView*>(m_view->body());
    EXPECT_TRUE(tab->additionalCells().at(0)->isChecked());
    EXPECT_FALSE(tab->additionalCells().at(1)->isChecked());
}

TEST_F(SettingsScreen, ADetectionLevelFromTheMenuReplacesTheSelection) {
    auto* tab = qobject_cast<RestrictionsView*>(m_view->body());
    ASSERT_NE(tab, nullptr);
    DetectionLevelView* level = tab->detectionLevelView();
    struct Row {
        const char* choice;
        const char* pill;
        std::size_t ticked;
    };
    // "RU" is a target country by default, so the full preset holds the social-network rule.
    const std::size_t all = tab->additionalCells().size();
    for (const auto& row :
         {Row{"Maximum 😎", "MAXIMUM 😎", all}, Row{"Minimum 🙂", "MINIMUM 🙂", 0},
          Row{"Recommended 🧐", "RECOMMENDED 🧐",
              RestrictionPreference::recommendedRestrictions().size()}}) {
        SCOPED_TRACE(row.choice);
        QTest::mouseClick(level->pill(), Qt::LeftButton);
        ASSERT_TRUE(level->isExpanded());
        EXPECT_FALSE(level->pill()->isVisible());
        auto* choice = level->menu()->findChild<QWidget*>(QString::fromUtf8(row.choice));
        ASSERT_NE(choice, nullptr);
        QTest::mouseClick(choice, Qt::LeftButton);
        EXPECT_FALSE(level->isExpanded());
        EXPECT_EQ(level->pillText().toStdString(), row.pill);
        std::size_t ticked = 0;
        for (auto* cell : tab->additionalCells()) {
            ticked += cell->isChecked() ? 1 : 0;
        }
        EXPECT_EQ(ticked, row.ticked);
        EXPECT_EQ(storedRuleCount(), row.ticked);
    }
    restart();
    EXPECT_EQ(m_model->detectionLevel(), DetectionLevel::recommended);
}

TEST_F(SettingsScreen, TheCountryGridSearchesAndSelects) {
    auto* tab = openTab<TargetCoutriesView>(SettingsTab::targetCoutries);
    ASSERT_NE(tab, nullptr);
    QAbstractItemModelTester tester(tab->gridModel());
    CountryGridModel* grid = tab->gridModel();
    EXPECT_EQ(tab->columns(), 3);
    ASSERT_GT(grid->rowCount(), 200);
    EXPECT_EQ(grid->country(0).countryCode(), "RU");
    EXPECT_TRUE(grid->isSelected(0));

    // The whole text in one edit: each keystroke would start a search, and a late answer to an
    // earlier one could still be on its way when the grid is clicked.
    tab->searchField()->setText(u"germ"_s);
    emit tab->searchField()->textEdited(u"germ"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() == 1; }, 5000));
    EXPECT_EQ(grid->country(0).countryCode(), "DE");
    EXPECT_FALSE(grid->isSelected(0));
    QListView* view = tab->grid();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(grid->index(0)).center());
    EXPECT_EQ(targetCountries(), (std::vector<std::string>{"RU", "BY", "DE"}));
    EXPECT_TRUE(tab->searchField()->text().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->rowCount() > 200; }, 5000));
    EXPECT_EQ(grid->country(2).countryCode(), "DE");
    EXPECT_TRUE(grid->isSelected(2));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return m_settings.storedText(SettingsKey::undesirableCountries).find("\"DE\"") !=
                   std::string::npos;
        },
        5000));

    // A click on a selected country takes it out.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(grid->index(0)).center());
    EXPECT_EQ(targetCountries(), (std::vector<std::string>{"BY", "DE"}));

    restart();
    tab = openTab<TargetCoutriesView>(SettingsTab::targetCoutries);
    EXPECT_EQ(targetCountries(), (std::vector<std::string>{"BY", "DE"}));
    EXPECT_EQ(tab->gridModel()->country(1).countryCode(), "DE");
    EXPECT_TRUE(tab->gridModel()->isSelected(1));
    // Without "RU" the social-network rule is gone from the rules the user can pick.
    const RestrictionPreference socialNetwork(DetectionReason::socialNetworkDomain());
    const auto additional = m_model->additionalRestrictions.get();
    EXPECT_EQ(std::count(additional.begin(), additional.end(), socialNetwork), 0);
}

// The screen fills the main window's content to its bottom-right corner, which the window rounds
// with a radius of 30: the grid's scroll bar must end inside that outline, not under the cut.
TEST_F(SettingsScreen, TheCountryGridsScrollBarEndsInsideTheRoundedCorner) {
    auto* tab = openTab<TargetCoutriesView>(SettingsTab::targetCoutries);
    ASSERT_NE(tab, nullptr);
    const QScrollBar* bar = tab->grid()->verticalScrollBar();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 5000));
    QPainterPath outline;
    outline.addRoundedRect(QRectF(m_view->rect()), 30, 30);
    for (const QPoint corner : {bar->rect().bottomRight(), bar->rect().bottomLeft()}) {
        const QPoint shown = bar->mapTo(m_view.get(), corner);
        EXPECT_TRUE(outline.contains(QPointF(shown) + QPointF(0.5, 0.5)))
            << shown.x() << "," << shown.y() << " in " << m_view->width() << "x"
            << m_view->height();
    }
}

TEST(CountryCell, ShowsTheFlagFiveSpacesAndTheCapitalisedName) {
    struct Row {
        Country country;
        const char* text;
    };
    for (const auto& row :
         {Row{Country("BA", "bosnia & herzegovina", "bs", "Bosnian", "🇧🇦"),
              "🇧🇦     Bosnia & Herzegovina"},
          Row{Country("XK", "KOSOVO", "sq", "Albanian", std::nullopt), "🚩     Kosovo"}}) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(CountryGridModel::cellText(row.country).toStdString(), row.text);
    }
}

TEST_F(SettingsScreen, TheGridHasFourColumnsOnlyInAWideMainWindow) {
    EXPECT_EQ(TargetCoutriesView::columnCount(nullptr), 3);
    NotificationCenter center;
    ManualScheduler scheduler;
    MainWindow::Dependencies dependencies;
    dependencies.notificationCenter = &center;
    dependencies.scheduler = &scheduler;
    MainWindow window(5, dependencies);
    for (const auto& [width, columns] : {std::pair{1237, 3}, std::pair{1238, 4}}) {
        window.resize(width, 700);
        EXPECT_EQ(TargetCoutriesView::columnCount(&window), columns) << width;
    }
}

TEST_F(SettingsScreen, ListRowsMoveAndGoAndEveryEditIsStored) {
    AllowanceList stored;
    stored.bundleIDWhitelist = {"a.app"};
    stored.hostWhitelist = {"h.example"};
    stored.hostBlacklist = {"evil.example"};
    stored.saveToSettings();
    restart();
    auto* tab = openTab<AllowancesListView>(SettingsTab::connectionsList);
    ASSERT_NE(tab, nullptr);
    const auto& allow = tab->allowColumn();
    const auto& deny = tab->denyColumn();
    QAbstractItemModelTester tester(allow.model);
    ASSERT_EQ(allow.model->rowCount(), 2);

    const auto clickOn = [](const AllowancesListView::Column& column, int row, bool arrow) {
        const QRect item = column.list->visualRect(column.model->index(row));
        const QRect icon = arrow ? column.cell->arrowRect(item) : column.cell->trashRect(item);
        QTest::mouseMove(column.list->viewport(), icon.center());
        QTest::mouseClick(column.list->viewport(), Qt::LeftButton, {}, icon.center());
    };
    // Allow column: trash on the left, arrow on the right; the deny column the other way round.
    const QRect item = allow.list->visualRect(allow.model->index(0));
    EXPECT_LT(allow.cell->trashRect(item).x(), allow.cell->arrowRect(item).x());
    EXPECT_GT(deny.cell->trashRect(item).x(), deny.cell->arrowRect(item).x());
    EXPECT_EQ(deny.cell->toolTip(AllowDenyListCellView::Part::arrow), u"Move to Allow list"_s);

    // The icons show for the row under the pointer; the trash turns on its own.
    const QRect first = allow.list->visualRect(allow.model->index(0));
    QTest::mouseMove(allow.list->viewport(), first.center());
    EXPECT_EQ(allow.cell->hoveredRow(), allow.model->index(0));
    EXPECT_FALSE(allow.cell->isDeleteHovered());
    QTest::mouseMove(allow.list->viewport(), allow.cell->trashRect(first).center());
    EXPECT_TRUE(allow.cell->isDeleteHovered());
    hover(allow.list->viewport(), false);
    EXPECT_FALSE(allow.cell->hoveredRow().isValid());

    clickOn(allow, 0, true);
    EXPECT_EQ(AllowanceList::restoreFromSettings()->bundleIDBlacklist,
              std::vector<std::string>{"a.app"});
    ASSERT_EQ(deny.model->rowCount(), 2);
    EXPECT_EQ(deny.model->entry(0)->title(), "Deny all connections from a.app");

    clickOn(deny, 1, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return deny.model->rowCount() == 1; }, 5000));
    EXPECT_TRUE(AllowanceList::restoreFromSettings()->hostBlacklist.empty());

    QTest::mouseClick(allow.removeAll, Qt::LeftButton);
    EXPECT_EQ(allow.model->rowCount(), 0);
    EXPECT_TRUE(AllowanceList::restoreFromSettings()->hostWhitelist.empty());

    restart();
    tab = openTab<AllowancesListView>(SettingsTab::connectionsList);
    EXPECT_EQ(tab->allowColumn().model->rowCount(), 0);
    ASSERT_EQ(tab->denyColumn().model->rowCount(), 1);
    EXPECT_EQ(tab->denyColumn().model->entry(0)->title(), "Deny all connections from a.app");
}

// The main window with the settings screen built from its models, as the application runs it.
class SettingsInMainWindow : public ::testing::Test {
public:
    SettingsInMainWindow() {
        MainWindow::Dependencies dependencies = mainWindowDependencies(m_center, m_scheduler);
        dependencies.makeScreenModels = [](MainWindow&) {
            return ScreenModels{
                nullptr,
                std::make_shared<SettingsViewModel>(testing::settingsDependencies()),
                nullptr,
                {}};
        };
        dependencies.makeScreen = [](AppActiveScreenType screen, MainWindow& window,
                                     QWidget* parent) -> QWidget* {
            if (screen != AppActiveScreenType::settings) {
                return nullptr;
            }
            return new SettingsView(window.screenModels().settings,
                                    {allSettingsTabs.begin(), allSettingsTabs.end()},
                                    {&window, [&window] { window.presentIOSPromotion(); }}, parent);
        };
        m_window = std::make_unique<MainWindow>(5, dependencies);
        m_window->show();
    }
    SettingsView* settingsView() const {
        return qobject_cast<SettingsView*>(
            m_window->mainView()->layoutView()->screen(AppActiveScreenType::settings));
    }

    TemporarySettings m_settings;
    NotificationCenter m_center;
    ManualScheduler m_scheduler;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(SettingsInMainWindow, OtherScreensAndTheMenuOpenTabs) {
    // The first screen stays on show when the window's screens are made.
    QWidget* first = m_window->mainView()->layoutView()->screen(AppActiveScreenType::appMonitor);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    m_center.post("switchScreen", SettingsTab::connectionsList);
    ASSERT_TRUE(QTest::qWaitFor([&] { return settingsView() != nullptr; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return qobject_cast<AllowancesListView*>(settingsView()->body()) != nullptr; },
        5000));
    m_center.post("switchScreen", AppActiveScreenType::appMonitor);
    m_window->action(u"Settings..."_s)->trigger();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return qobject_cast<RestrictionsView*>(settingsView()->body()) != nullptr; }, 5000));
    EXPECT_EQ(m_window->screenModels().settings->currentTab.get(), SettingsTab::restrictions);
}

TEST_F(SettingsInMainWindow, TheCountryGridFollowsTheWindowsWidth) {
    m_center.post("switchScreen", SettingsTab::targetCoutries);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return settingsView() != nullptr &&
                   qobject_cast<TargetCoutriesView*>(settingsView()->body()) != nullptr;
        },
        5000));
    const auto* grid = qobject_cast<TargetCoutriesView*>(settingsView()->body());
    for (const auto& [width, columns] : {std::pair{1300, 4}, std::pair{1100, 3}}) {
        m_window->resize(width, 720);
        EXPECT_TRUE(QTest::qWaitFor([&] { return grid->columns() == columns; }, 5000)) << width;
    }
}

TEST_F(SettingsInMainWindow, GetIOSAppMarksThePromotionAsOffered) {
    m_center.post("switchScreen", AppActiveScreenType::settings);
    ASSERT_TRUE(QTest::qWaitFor([&] { return settingsView() != nullptr; }, 5000));
    QTest::mouseClick(settingsView()->header()->promotionButton(), Qt::LeftButton);
    EXPECT_EQ(Settings::value(SettingsKey::didPresentIOSPromotion).value_or(Value()).asBool(),
              std::optional<bool>(true));

    // Outside a main window the button does nothing.
    Settings::set(std::nullopt, SettingsKey::didPresentIOSPromotion);
    SettingsHeader loose;
    loose.presentPromotion();
    EXPECT_FALSE(Settings::value(SettingsKey::didPresentIOSPromotion).has_value());
}

}  // namespace
}  // namespace tarnwick::testing
