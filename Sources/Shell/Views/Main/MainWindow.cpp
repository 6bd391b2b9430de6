#include "Shell/Views/Main/MainWindow.h"

#include "Foundation/Bundle.h"
#include "QtSupport/Utf8Text.h"
#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Shell/ApplicationTerminator.h"
#include "Shell/MakerLinks.h"
#include "Shell/ShellNotification.h"
#include "Shell/Views/About/AboutWindowController.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Promotion/IOSPromotionViewController.h"
#include "Shell/Views/Sheets/SheetWindowController.h"
#include "WidgetKit/InterfaceText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <xcb/xcb.h>

namespace tarnwick {

namespace {

// Edit commands act on the text widget that has the keyboard focus, if any.
template <typename Action>
void onFocusedText(Action action) {
    QWidget* focus = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
        action(line);
    } else if (auto* text = qobject_cast<QTextEdit*>(focus)) {
        action(text);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) {
        action(plain);
    }
}

WindowFrameAutosave::Rect toRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

// Whether a compositing manager blends translucent windows on this display.
bool isCompositorRunning() {
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        return true;
    }
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return false;
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(0);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, name.size(), name.constData()), nullptr);
    if (atom == nullptr) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool running = owner != nullptr && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return running;
}

}  // namespace

MainWindow::MainWindow(std::int64_t launchesCount, Dependencies dependencies)
    : m_dependencies(std::move(dependencies)) {
    if (!m_dependencies.openURL) {
        m_dependencies.openURL = [](const std::string& address) {
            QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
        };
    }
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    m_mainView = new MainView(*m_dependencies.notificationCenter, this);
    setCentralWidget(m_mainView);

    m_menuBar = new QMenuBar(this);
    addApplicationMenu(m_menuBar);
    addEditMenu(m_menuBar);
    addViewMenu(m_menuBar);
    addWindowMenu(m_menuBar);
    addHelpMenu(m_menuBar);
    // The menus live in the desktop's global menu where there is one. Elsewhere they float in
    // the window's top strip beside the window buttons: a menu row above the frameless content
    // would square off its rounded top.
    m_menuBar->setNativeMenuBar(true);
    if (m_menuBar->isNativeMenuBar()) {
        setMenuBar(m_menuBar);
    } else {
        m_menuBar->setObjectName(QStringLiteral("InWindowMenuBar"));
        m_menuBar->setStyleSheet(
            QStringLiteral("QMenuBar#InWindowMenuBar { background: "
                           "transparent; }"));
        m_menuBar->raise();
    }

    m_sheetWindowController = new SheetWindowController(this, *m_dependencies.scheduler);
    m_promotionSchedule = std::make_unique<IOSPromotionSchedule>(
        m_dependencies.promotionStore, [this] { presentIOSPromotion(); },
        *m_dependencies.scheduler);

    // The preferred size overflows small or highly scaled screens: there it is the whole screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available =
        screen ? screen->availableGeometry() : QRect(QPoint(0, 0), preferredMinimumSize);
    const auto [minimumWidth, minimumHeight] = WindowFrameAutosave::minimumSize(
        preferredMinimumSize.width(), preferredMinimumSize.height(), toRect(available));
    m_mainView->setMinimumSize(minimumWidth, minimumHeight);
    setMinimumSize(minimumWidth, minimumHeight);
    resize(minimumWidth, minimumHeight);
    if (shouldCenter(launchesCount)) {
        move(available.center() - rect().center());
    }
    restoreFrame();
    m_frameSaver = new QTimer(this);
    m_frameSaver->setSingleShot(true);
    m_frameSaver->setInterval(500);
    connect(m_frameSaver, &QTimer::timeout, this, [this] { saveFrame(); });
    // Presses on the window's children reach the border band too.
    qApp->installEventFilter(this);
    if (m_dependencies.makeScreenModels) {
        m_screenModels = m_dependencies.makeScreenModels(*this);
    }
    MainWindowLayout* layout = m_mainView->layoutView();
    if (const std::weak_ptr<SettingsViewModel> settings = m_screenModels.settings;
        !settings.expired()) {
        layout->model().onSettingsTabRequested = [settings](SettingsTab tab) {
            if (const auto model = settings.lock()) {
                model->currentTab = tab;
            }
        };
    }
    if (m_dependencies.makeScreen) {
        layout->setScreenFactory([this](AppActiveScreenType type, QWidget* parent) {
            return m_dependencies.makeScreen(type, *this, parent);
        });
    }
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

void MainWindow::restoreFrame() {
    if (!m_dependencies.frameStore.read) {
        return;
    }
    const auto text = m_dependencies.frameStore.read();
    const auto saved = text ? WindowFrameAutosave::decode(*text) : std::nullopt;
    if (!saved) {
        return;
    }
    std::vector<WindowFrameAutosave::Rect> screens;
    for (const QScreen* each : QGuiApplication::screens()) {
        screens.push_back(toRect(each->availableGeometry()));
    }
    if (const auto frame =
            WindowFrameAutosave::fitted(*saved, screens, minimumWidth(), minimumHeight())) {
        setGeometry(frame->x, frame->y, frame->width, frame->height);
    }
}

void MainWindow::saveFrame() const {
    // A maximised or full-screen window keeps the frame it returns to.
    if (!m_dependencies.frameStore.write || isFullScreen() || isMaximized() || isMinimized()) {
        return;
    }
    const QRect frame = geometry();
    m_dependencies.frameStore.write(WindowFrameAutosave::encode(toRect(frame)));
}

QAction* MainWindow::addItem(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                             std::function<void()> handler) {
    QAction* item = menu->addAction(title);
    item->setShortcut(shortcut);
    item->setShortcutContext(Qt::ApplicationShortcut);
    connect(item, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    addAction(item);
    return item;
}

QAction* MainWindow::action(const QString& title) const {
    for (QAction* item : actions()) {
        if (item->text() == title) {
            return item;
        }
    }
    return nullptr;
}

void MainWindow::addApplicationMenu(QMenuBar* bar) {
    namespace IT = InterfaceText;
    QMenu* menu = bar->addMenu(qtext(IT::applicationMenuTitle));
    addItem(menu, qtext(IT::aboutMenuItem), {},
            [this] { AboutWindowController(Bundle::main(), this).showWindow(); });
    menu->addSeparator();
    addItem(menu, qtext(IT::settingsMenuItem), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] {
        // The menu opens the first tab; the side bar keeps the last one shown.
        if (m_dependencies.notificationCenter != nullptr) {
            m_dependencies.notificationCenter->post(std::string(ShellNotification::switchScreen),
                                                    SettingsTab::restrictions);
        }
    });
    menu->addSeparator();
    addItem(menu, QStringLiteral("Check for Updates"), {}, [this] {
        if (m_dependencies.checkForUpdates) {
            m_dependencies.checkForUpdates();
        }
    });
    menu->addSeparator();
    // A build without the maker's site has no pages to open: the items are hidden.
    addItem(menu, qtext(IT::privacyPolicyMenuItem), {}, [this] {
        openWebPage(std::string(MakerLinks::privacyPolicy));
    })->setVisible(MakerLinks::hasSite);
    addItem(menu, qtext(IT::userAgreementMenuItem), {}, [this] {
        openWebPage(std::string(MakerLinks::userAgreement));
    })->setVisible(MakerLinks::hasSite);
    menu->addSeparator();
    addItem(menu, qtext(IT::hideMenuItem), QKeySequence(Qt::CTRL | Qt::Key_H),
            [this] { showMinimized(); });
    // No window manager of this desktop hides other applications' windows on request, so the item
    // is shown, as on every desktop, but cannot be chosen.
    addItem(menu, qtext(IT::hideOthersMenuItem), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H), [] {
    })->setEnabled(false);
    menu->addSeparator();
    addItem(menu, qtext(IT::quitMenuItem), QKeySequence(Qt::CTRL | Qt::Key_Q),
            [] { ApplicationTerminator::terminate(); });
}

void MainWindow::addEditMenu(QMenuBar* bar) {
    namespace IT = InterfaceText;
    QMenu* menu = bar->addMenu(qtext(IT::editMenuTitle));
    addItem(menu, qtext(IT::cutMenuItem), QKeySequence(Qt::CTRL | Qt::Key_X),
            [] { onFocusedText([](auto* widget) { widget->cut(); }); });
    addItem(menu, qtext(IT::copyMenuItem), QKeySequence(Qt::CTRL | Qt::Key_C),
            [] { onFocusedText([](auto* widget) { widget->copy(); }); });
    addItem(menu, qtext(IT::pasteMenuItem), QKeySequence(Qt::CTRL | Qt::Key_V),
            [] { onFocusedText([](auto* widget) { widget->paste(); }); });
    addItem(menu, qtext(IT::selectAllMenuItem), QKeySequence(Qt::CTRL | Qt::Key_A),
            [] { onFocusedText([](auto* widget) { widget->selectAll(); }); });
}

void MainWindow::addViewMenu(QMenuBar* bar) {
    QMenu* menu = bar->addMenu(qtext(InterfaceText::viewMenuTitle));
    // The arrow keys: no keyboard of this desktop types the arrow characters.
    addItem(menu, QStringLiteral("Switch to App Monitor"), QKeySequence(Qt::CTRL | Qt::Key_Up),
            [this] { switchScreen(AppActiveScreenType::appMonitor); });
    addItem(menu, QStringLiteral("Switch to Connection Monitor"),
            QKeySequence(Qt::CTRL | Qt::Key_Down),
            [this] { switchScreen(AppActiveScreenType::connectionsMonitor); });
    menu->addSeparator();
    addItem(menu, QStringLiteral("Toggle Connection Monitor"),
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), [this] {
                if (m_dependencies.notificationCenter != nullptr) {
                    m_dependencies.notificationCenter->post(
                        std::string(ShellNotification::toggleConnectionMonitor));
                }
            });
}

void MainWindow::addWindowMenu(QMenuBar* bar) {
    namespace IT = InterfaceText;
    QMenu* menu = bar->addMenu(qtext(IT::windowMenuTitle));
    m_fullScreenItem =
        addItem(menu, QStringLiteral("Enter Full Screen"),
                QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F), [this] { toggleFullScreen(); });
    // The desktop's own full-screen key, and Escape to leave it.
    m_fullScreenItem->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F), QKeySequence(Qt::Key_F11)});
    auto* leave = new QAction(this);
    leave->setShortcut(QKeySequence(Qt::Key_Escape));
    leave->setShortcutContext(Qt::WindowShortcut);
    leave->setEnabled(false);
    connect(leave, &QAction::triggered, this, [this] {
        if (isFullScreen()) {
            toggleFullScreen();
        }
    });
    connect(m_fullScreenItem, &QAction::changed, leave,
            [this, leave] { leave->setEnabled(isFullScreen()); });
    addAction(leave);
    addItem(menu, qtext(IT::minimiseMenuItem), QKeySequence(Qt::CTRL | Qt::Key_M), [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                window->showMinimized();
            }
        }
    });
    addItem(menu, qtext(IT::zoomMenuItem), {}, [this] {
        if (isMaximized()) {
            showNormal();
        } else {
            showMaximized();
        }
    });
    menu->addSeparator();
    addItem(menu, QStringLiteral("Bring all to front"), {}, [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                window->raise();
            }
        }
    });
}

void MainWindow::addHelpMenu(QMenuBar* bar) {
    QMenu* menu = bar->addMenu(qtext(InterfaceText::helpMenuTitle));
    addItem(menu, QStringLiteral("Provide Feedback..."), {}, [this] {
        if (m_dependencies.provideFeedback) {
            m_dependencies.provideFeedback();
        }
    });
}

void MainWindow::toggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
    } else {
        showFullScreen();
    }
}

void MainWindow::switchScreen(AppActiveScreenType screen) {
    if (m_dependencies.notificationCenter != nullptr) {
        m_dependencies.notificationCenter->post(std::string(ShellNotification::switchScreen),
                                                screen);
    }
}

void MainWindow::openWebPage(const std::string& address) {
    const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        m_dependencies.openURL(address);
    }
}

void MainWindow::presentIOSPromotion() {
    if (m_sheetWindowController != nullptr) {
        m_sheetWindowController->present(std::make_shared<IOSPromotionViewController>(), false);
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        const bool active = isActiveWindow();
        if (active && !m_wasActive) {
            m_promotionSchedule->windowDidBecomeKey();
            // The engine waits for this to relaunch after repairing its extension.
            m_dependencies.notificationCenter->post(
                ConnectionsMonitorViewModel::kWindowDidBecomeKeyNotification);
        }
        m_wasActive = active;
    } else if (event->type() == QEvent::WindowStateChange) {
        m_mainView->setFullscreen(isFullScreen());
        m_mainView->setSquareCorners(isFullScreen() || isMaximized());
        // Sets the Escape shortcut's state too.
        m_fullScreenItem->setText(isFullScreen() ? QStringLiteral("Exit Full Screen")
                                                 : QStringLiteral("Enter Full Screen"));
        updateShape();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    // Closing the main window quits the application, which switches the filter off first.
    event->ignore();
    ApplicationTerminator::terminate();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!m_menuBar->isNativeMenuBar()) {
        // Right of the window buttons, clear of the screen title below.
        constexpr int left = 72;
        constexpr int top = 8;
        const QSize wanted = m_menuBar->sizeHint();
        m_menuBar->setGeometry(left, top, std::min(wanted.width(), width() - 2 * left),
                               wanted.height());
        m_mainView->layoutView()->setTopStripHeight(m_menuBar->geometry().bottom() + 1);
    }
    updateShape();
    if (m_frameSaver != nullptr && isVisible()) {
        m_frameSaver->start();
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (m_frameSaver != nullptr && isVisible()) {
        m_frameSaver->start();
    }
}

void MainWindow::updateShape() {
    // Where a compositor blends the translucent window the painted rounded corners are smooth;
    // without one a mask cuts them, with hard edges. A window that fills the screen is square.
    if (isFullScreen() || isMaximized()) {
        clearMask();
        return;
    }
    if (isCompositorRunning()) {
        clearMask();
        return;
    }
    QPainterPath path;
    const double radius = m_mainView->hasSquareCorners() ? 0.0 : m_mainView->windowCornerRadius();
    path.addRoundedRect(QRectF(rect()), radius, radius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

Qt::Edges MainWindow::resizeEdges(const QPoint& position) const {
    Qt::Edges edges;
    if (isFullScreen() || isMaximized() || !rect().contains(position)) {
        return edges;
    }
    // Without a compositor the mask cuts the rounded corners away, and a press there reaches the
    // desktop instead. So each corner's band follows the rounded outline, inside the shape: a
    // press within the corner's square and near its arc resizes both ways.
    const double radius = m_mainView->hasSquareCorners() ? 0.0 : m_mainView->windowCornerRadius();
    const int corner = std::max(resizeBand, static_cast<int>(std::ceil(radius)));
    const bool left = position.x() < corner;
    const bool right = !left && position.x() >= width() - corner;
    const bool top = position.y() < corner;
    const bool bottom = !top && position.y() >= height() - corner;
    if ((left || right) && (top || bottom)) {
        const QPointF centre(left ? corner : width() - corner, top ? corner : height() - corner);
        // The pixel's centre, as the mask's polygon is filled.
        const QPointF offset = QPointF(position) + QPointF(0.5, 0.5) - centre;
        if (std::hypot(offset.x(), offset.y()) <= corner - resizeBand) {
            return edges;
        }
        return (left ? Qt::LeftEdge : Qt::RightEdge) | (top ? Qt::TopEdge : Qt::BottomEdge);
    }
    if (position.x() < resizeBand) {
        edges |= Qt::LeftEdge;
    } else if (position.x() >= width() - resizeBand) {
        edges |= Qt::RightEdge;
    }
    if (position.y() < resizeBand) {
        edges |= Qt::TopEdge;
    } else if (position.y() >= height() - resizeBand) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const QEvent::Type type = event->type();
    if (widget == nullptr || widget->window() != this ||
        (type != QEvent::MouseButtonPress && type != QEvent::MouseMove)) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    // A button's press is the button's, also where its square reaches into a corner's band.
    const Qt::Edges edges = qobject_cast<QAbstractButton*>(widget) != nullptr
                                ? Qt::Edges()
                                : resizeEdges(mapFromGlobal(mouse->globalPosition().toPoint()));
    if (type == QEvent::MouseMove && mouse->buttons() == Qt::NoButton) {
        // The pointer over the band shows which way the window would be resized.
        if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge)) {
            setCursor(Qt::SizeFDiagCursor);
        } else if (edges == (Qt::RightEdge | Qt::TopEdge) ||
                   edges == (Qt::LeftEdge | Qt::BottomEdge)) {
            setCursor(Qt::SizeBDiagCursor);
        } else if (edges & (Qt::LeftEdge | Qt::RightEdge)) {
            setCursor(Qt::SizeHorCursor);
        } else if (edges & (Qt::TopEdge | Qt::BottomEdge)) {
            setCursor(Qt::SizeVerCursor);
        } else {
            unsetCursor();
        }
        return false;
    }
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton && edges &&
        windowHandle() != nullptr) {
        windowHandle()->startSystemResize(edges);
        return true;
    }
    return false;
}

bool MainWindow::isDrag(const QPoint& press, const QPoint& now) {
    return (now - press).manhattanLength() >= QApplication::startDragDistance();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // Movable by its background, once the press becomes a drag: handed to the window manager at
    // the press, a click left it waiting for a release that had already come, and the window
    // followed the pointer until the next click.
    m_dragPress = event->globalPosition().toPoint();
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    m_movingByHand = false;
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    // Only a drag whose press reached the window moves it: one that began on a sheet's dimmed
    // area or a control did not set an offset.
    if (!m_dragOffset || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPoint at = event->globalPosition().toPoint();
    if (!m_movingByHand) {
        if (!m_dragPress || !isDrag(*m_dragPress, at)) {
            return;
        }
        // The window manager moves it where it can; elsewhere it follows the pointer by hand.
        if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
            m_dragPress.reset();
            m_dragOffset.reset();
            return;
        }
        m_movingByHand = true;
    }
    move(at - *m_dragOffset);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragPress.reset();
        m_dragOffset.reset();
        m_movingByHand = false;
    }
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->position().y() < topStripHeight &&
        !isFullScreen()) {
        if (isMaximized()) {
            showNormal();
        } else {
            showMaximized();
        }
    }
}

}  // namespace tarnwick
