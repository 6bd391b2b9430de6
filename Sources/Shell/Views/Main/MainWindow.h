#pragma once

#include "Dispatch/Scheduler.h"
#include "Foundation/NotificationCenter.h"
#include "Shell/AppActiveScreenType.h"
#include "Shell/IOSPromotionSchedule.h"
#include "Shell/Views/Main/ScreenModels.h"
#include "Shell/WindowFrameAutosave.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QMenu;
class QMenuBar;
class QTimer;

namespace tarnwick {

class MainView;
class SheetWindowController;

// The application's one main window: frameless (the side bar draws the window buttons), with the
// whole menu bar, the one sheet controller for panels over it, and the phone-app promotion offered
// once, two seconds after it becomes key from the second launch on. Menu commands that concern
// other parts are posted as notifications.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    struct Dependencies {
        NotificationCenter* notificationCenter = &NotificationCenter::defaultCenter();
        Scheduler* scheduler = &Scheduler::system();
        IOSPromotionSchedule::Store promotionStore = IOSPromotionSchedule::standardSettings();
        // Where the window's size and place are kept between runs.
        WindowFrameAutosave::Store frameStore =
            WindowFrameAutosave::standardSettings(std::string(frameAutosaveName));
        // Opens a web address in the user's browser.
        std::function<void(const std::string&)> openURL;
        // Runs the update check on command.
        std::function<void()> checkForUpdates;
        // Presents the feedback form.
        std::function<void()> provideFeedback;
        // Builds the screens' models once the window stands; the window owns them for its life.
        // None: the window runs without them.
        std::function<ScreenModels(MainWindow&)> makeScreenModels;
        // Builds a screen's view once its models stand. None, or no view: a placeholder.
        std::function<QWidget*(AppActiveScreenType, MainWindow&, QWidget* parent)> makeScreen;
    };

    static bool shouldCenter(std::int64_t launchesCount) { return launchesCount < 3; }
    static constexpr std::string_view frameAutosaveName = "MainWindow";
    static constexpr QSize preferredMinimumSize{1024, 640};
    // The band along the edges where a press resizes the frameless window.
    static constexpr int resizeBand = 6;
    // The strip along the top that a double click zooms.
    static constexpr int topStripHeight = 52;

    MainWindow(std::int64_t launchesCount, Dependencies dependencies);
    ~MainWindow() override;

    MainView* mainView() const { return m_mainView; }
    SheetWindowController* sheetWindowController() const { return m_sheetWindowController; }
    NotificationCenter* notificationCenter() const { return m_dependencies.notificationCenter; }
    const ScreenModels& screenModels() const { return m_screenModels; }

    void switchScreen(AppActiveScreenType screen);
    void openWebPage(const std::string& address);
    void presentIOSPromotion();
    // The menu bar, in the desktop's global menu or in the window.
    QMenuBar* menus() const { return m_menuBar; }
    // The menu's actions, by their names.
    QAction* action(const QString& title) const;
    // The edges a press at this point of the window would resize: the band along the straight
    // edges, and at a rounded corner the band along its arc; none while the window fills the
    // screen.
    Qt::Edges resizeEdges(const QPoint& position) const;
    void toggleFullScreen();
    void saveFrame() const;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the pointer has gone far enough from a press for it to be a drag.
    static bool isDrag(const QPoint& press, const QPoint& now);
    void addApplicationMenu(QMenuBar* bar);
    void addEditMenu(QMenuBar* bar);
    void addViewMenu(QMenuBar* bar);
    void addWindowMenu(QMenuBar* bar);
    void addHelpMenu(QMenuBar* bar);
    QAction* addItem(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                     std::function<void()> handler);
    void restoreFrame();
    void updateShape();

    Dependencies m_dependencies;
    MainView* m_mainView;
    QMenuBar* m_menuBar;
    SheetWindowController* m_sheetWindowController;
    std::unique_ptr<IOSPromotionSchedule> m_promotionSchedule;
    // Set by a press on the window's own background, so only that press's drag moves it.
    std::optional<QPoint> m_dragOffset;
    // Where that press was, until it becomes a drag; and whether the window follows the pointer
    // by hand, where the window manager cannot move it.
    std::optional<QPoint> m_dragPress;
    bool m_movingByHand = false;
    QAction* m_fullScreenItem = nullptr;
    QTimer* m_frameSaver = nullptr;
    bool m_wasActive = false;
    // Last, so they go first: their alerts and sheets still find the window.
    ScreenModels m_screenModels;
};

}  // namespace tarnwick
