#include "Shell/Views/Main/MainWindow.h"

#include "Screens/ConnectionsMonitor/ConnectionsMonitorViewModel.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Shell/ApplicationTerminator.h"
#include "Shell/InterfaceText.h"
#include "Shell/MakerLinks.h"
#include "Shell/ShellNotification.h"
#include "Shell/Views/About/AboutWindowController.h"
#include "Shell/Views/Main/MainView.h"
#include "Shell/Views/Main/MainWindowLayout.h"
#include "Shell/Views/Promotion/IOSPromotionViewController.h"
#include "Shell/Views/Sheets/SheetWindowController.h"

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
#include <QUrl>

#include <algorithm>

namespace tarnwick {

namespace {

QString text(std::string_view value) {
    return QString::fromUtf8(value.data(), qsizetype(value.size()));
}

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

    resize(1024, 640);
    if (shouldCenter(launchesCount)) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
    }
    if (m_dependencies.makeScreenModels) {
        m_screenModels = m_dependencies.makeScreenModels(*this);
        m_mainView->layoutView()->setScreenModels(m_screenModels);
    }
}

MainWindow::~MainWindow() = default;

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
    QMenu* menu = bar->addMenu(text(IT::applicationMenuTitle));
    addItem(menu, text(IT::aboutMenuItem), {}, [] { AboutWindowController().showWindow(); });
    menu->addSeparator();
    addItem(menu, text(IT::settingsMenuItem), QKeySequence(Qt::CTRL | Qt::Key_Comma),
            [this] { switchScreen(AppActiveScreenType::settings); });
    menu->addSeparator();
    addItem(menu, QStringLiteral("Check for Updates"), {}, [this] {
        if (m_dependencies.checkForUpdates) {
            m_dependencies.checkForUpdates();
        }
    });
    menu->addSeparator();
    addItem(menu, text(IT::privacyPolicyMenuItem), {},
            [this] { openWebPage(std::string(MakerLinks::privacyPolicy)); });
    addItem(menu, text(IT::userAgreementMenuItem), {},
            [this] { openWebPage(std::string(MakerLinks::userAgreement)); });
    menu->addSeparator();
    addItem(menu, text(IT::hideMenuItem), QKeySequence(Qt::CTRL | Qt::Key_H),
            [this] { showMinimized(); });
    // Other applications are not ours to hide.
    addItem(menu, text(IT::hideOthersMenuItem), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H),
            [] {});
    menu->addSeparator();
    addItem(menu, text(IT::quitMenuItem), QKeySequence(Qt::CTRL | Qt::Key_Q),
            [] { ApplicationTerminator::terminate(); });
}

void MainWindow::addEditMenu(QMenuBar* bar) {
    namespace IT = InterfaceText;
    QMenu* menu = bar->addMenu(text(IT::editMenuTitle));
    addItem(menu, text(IT::cutMenuItem), QKeySequence(Qt::CTRL | Qt::Key_X),
            [] { onFocusedText([](auto* widget) { widget->cut(); }); });
    addItem(menu, text(IT::copyMenuItem), QKeySequence(Qt::CTRL | Qt::Key_C),
            [] { onFocusedText([](auto* widget) { widget->copy(); }); });
    addItem(menu, text(IT::pasteMenuItem), QKeySequence(Qt::CTRL | Qt::Key_V),
            [] { onFocusedText([](auto* widget) { widget->paste(); }); });
    addItem(menu, text(IT::selectAllMenuItem), QKeySequence(Qt::CTRL | Qt::Key_A),
            [] { onFocusedText([](auto* widget) { widget->selectAll(); }); });
}

void MainWindow::addViewMenu(QMenuBar* bar) {
    QMenu* menu = bar->addMenu(text(InterfaceText::viewMenuTitle));
    // The arrow characters themselves, not the arrow keys.
    addItem(menu, QStringLiteral("Switch to App Monitor"),
            QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(0x2191))),
            [this] { switchScreen(AppActiveScreenType::appMonitor); });
    addItem(menu, QStringLiteral("Switch to Connection Monitor"),
            QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(0x2193))),
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
    QMenu* menu = bar->addMenu(text(IT::windowMenuTitle));
    addItem(menu, QStringLiteral("Enter Full Screen"),
            QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F), [this] {
                if (isFullScreen()) {
                    showNormal();
                } else {
                    showFullScreen();
                }
            });
    addItem(menu, text(IT::minimiseMenuItem), QKeySequence(Qt::CTRL | Qt::Key_M), [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                window->showMinimized();
            }
        }
    });
    addItem(menu, text(IT::zoomMenuItem), {}, [this] {
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
    QMenu* menu = bar->addMenu(text(InterfaceText::helpMenuTitle));
    addItem(menu, QStringLiteral("Provide Feedback..."), {}, [this] {
        if (m_dependencies.provideFeedback) {
            m_dependencies.provideFeedback();
        }
    });
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
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
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
    }
    QPainterPath path;
    const double radius = m_mainView->windowCornerRadius();
    path.addRoundedRect(QRectF(rect()), radius, radius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    // Movable by its background.
    if (event->buttons() & Qt::LeftButton) {
        move(event->globalPosition().toPoint() - m_dragOffset);
    }
}

}  // namespace tarnwick
