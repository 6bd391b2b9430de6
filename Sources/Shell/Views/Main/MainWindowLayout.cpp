#include "Shell/Views/Main/MainWindowLayout.h"

#include "Dispatch/DispatchQueue.h"
#include "Shell/ShellNotification.h"
#include "Shell/Views/Main/ScreenPlaceholderView.h"
#include "Shell/Views/Main/SideBarView.h"
#include "Tools/SettingsKey.h"

#include <QGraphicsEffect>
#include <QGraphicsOpacityEffect>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>

namespace tarnwick {

namespace {

bool isFixingExtension() {
    return Settings::value(SettingsKey::isFixingExtension)
        .value_or(Value())
        .asBool()
        .value_or(false);
}

}  // namespace

MainWindowLayout::MainWindowLayout(NotificationCenter& notificationCenter, QWidget* parent)
    : QWidget(parent), m_notificationCenter(notificationCenter), m_model(isFixingExtension()) {
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_sideBar =
        new SideBarView({allAppActiveScreenTypes.begin(), allAppActiveScreenTypes.end()}, this);
    m_sideBar->setCurrentScreen(m_model.currentScreen());
    m_sideBar->onScreenChosen = [this](AppActiveScreenType screen) {
        m_model.requestScreen(screen);
    };
    m_sideBar->onHoverChanged = [this](bool hovered) { m_model.setSideBarExpanded(hovered); };
    m_model.onSideBarExpandedChanged = [this](bool expanded) { m_sideBar->setExpanded(expanded); };
    m_model.onSwitch = [this](AppActiveScreenType from, AppActiveScreenType to) {
        m_sideBar->setCurrentScreen(to);
        animateSwitch(from, to);
    };
    ensureScreen(m_model.currentScreen())->show();

    QPointer<MainWindowLayout> self(this);
    m_switchObserver = m_notificationCenter.addObserver(
        std::string(ShellNotification::switchScreen), DispatchQueue::main(),
        [self](const Notification& notification) {
            if (self) {
                self->m_model.handleSwitchScreenNotification(notification.object);
            }
        });
}

MainWindowLayout::~MainWindowLayout() {
    m_notificationCenter.removeObserver(m_switchObserver);
}

QWidget* MainWindowLayout::screen(AppActiveScreenType screen) const {
    const auto it = m_screens.find(screen);
    return it == m_screens.end() ? nullptr : it->second.data();
}

void MainWindowLayout::setFullscreen(bool fullscreen) {
    m_sideBar->setFullscreen(fullscreen);
}

QWidget* MainWindowLayout::ensureScreen(AppActiveScreenType screen) {
    QPointer<QWidget>& slot = m_screens[screen];
    if (!slot) {
        slot = m_screenFactory ? m_screenFactory(screen, m_content) : nullptr;
        if (!slot) {
            slot = new ScreenPlaceholderView(screen, m_content);
        }
        slot->setGeometry(m_content->rect());
        slot->hide();
    }
    return slot;
}

void MainWindowLayout::setScreenFactory(ScreenFactory factory) {
    m_screenFactory = std::move(factory);
    for (auto& [type, slot] : m_screens) {
        if (qobject_cast<ScreenPlaceholderView*>(slot.data()) == nullptr) {
            continue;
        }
        // Not isVisible(): the window itself may not be shown yet.
        const bool shown = !slot->isHidden();
        delete slot.data();
        ensureScreen(type)->setVisible(shown);
    }
    m_sideBar->raise();
}

QRect MainWindowLayout::contentRect() const {
    return QRect(SideBarView::collapsedWidth, 0, width() - SideBarView::collapsedWidth, height());
}

void MainWindowLayout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_content->setGeometry(contentRect());
    for (auto& [type, widget] : m_screens) {
        if (widget) {
            widget->setGeometry(m_content->rect());
        }
    }
    m_sideBar->setFixedHeight(height());
    m_sideBar->move(0, 0);
    m_sideBar->raise();
}

void MainWindowLayout::animateSwitch(AppActiveScreenType from, AppActiveScreenType to) {
    QWidget* leaving = ensureScreen(from);
    QWidget* entering = ensureScreen(to);
    const int height = m_content->height();
    // The App Monitor moves along the top edge, Settings along the bottom edge, the Connections
    // Monitor along the edge the model chose.
    const auto edgeOffset = [&](AppActiveScreenType screen) {
        switch (screen) {
            case AppActiveScreenType::appMonitor:
                return -height;
            case AppActiveScreenType::settings:
                return height;
            case AppActiveScreenType::connectionsMonitor:
                return m_model.flowDirection() == MainWindowLayoutModel::Edge::top ? -height
                                                                                   : height;
        }
        return height;
    };
    auto* group = new QParallelAnimationGroup(this);
    // An effect inside a fading screen (a button's shadow) would paint into the fade's own
    // painter: they rest while the screens move.
    std::vector<QPointer<QGraphicsEffect>> resting;
    // A control its opacity keeps invisible (a row's buttons away from the pointer) would show
    // for the whole slide with that opacity at rest: it is hidden meanwhile, keeping its room.
    std::vector<QPointer<QWidget>> unseen;
    for (QWidget* screenView : {leaving, entering}) {
        for (QWidget* child : screenView->findChildren<QWidget*>()) {
            QGraphicsEffect* effect = child->graphicsEffect();
            if (effect == nullptr || !effect->isEnabled()) {
                continue;
            }
            effect->setEnabled(false);
            resting.emplace_back(effect);
            const auto* opacity = qobject_cast<QGraphicsOpacityEffect*>(effect);
            if (opacity != nullptr && opacity->opacity() <= 0.0 && !child->isHidden()) {
                QSizePolicy policy = child->sizePolicy();
                policy.setRetainSizeWhenHidden(true);
                child->setSizePolicy(policy);
                child->hide();
                unseen.emplace_back(child);
            }
        }
    }
    // The screens pass under the window's top strip, not over its menu row.
    if (m_topStripHeight > 0) {
        m_content->setMask(QRegion(0, m_topStripHeight, m_content->width(),
                                   std::max(m_content->height() - m_topStripHeight, 0)));
    }
    const auto slide = [&](QWidget* widget, QPoint start, QPoint end, double fromOpacity,
                           double toOpacity) {
        auto* opacity = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(opacity);
        auto* move = new QPropertyAnimation(widget, "pos", group);
        move->setStartValue(start);
        move->setEndValue(end);
        move->setDuration(switchDurationMilliseconds);
        move->setEasingCurve(QEasingCurve::InOutQuad);
        auto* fade = new QPropertyAnimation(opacity, "opacity", group);
        fade->setStartValue(fromOpacity);
        fade->setEndValue(toOpacity);
        fade->setDuration(switchDurationMilliseconds);
        group->addAnimation(move);
        group->addAnimation(fade);
    };
    entering->setGeometry(m_content->rect());
    entering->show();
    entering->raise();
    slide(entering, QPoint(0, edgeOffset(to)), QPoint(0, 0), 0, 1);
    slide(leaving, QPoint(0, 0), QPoint(0, edgeOffset(from)), 1, 0);
    QPointer<QWidget> gone(leaving);
    QPointer<QWidget> shown(entering);
    connect(group, &QAbstractAnimation::finished, this, [this, gone, shown, resting, unseen] {
        for (const auto& widget : unseen) {
            if (widget) {
                widget->show();
            }
        }
        m_content->clearMask();
        for (const auto& effect : resting) {
            if (effect) {
                effect->setEnabled(true);
            }
        }
        if (gone && gone != shown && gone != screen(m_model.currentScreen())) {
            gone->hide();
            gone->move(0, 0);
        }
        for (QWidget* widget : {gone.data(), shown.data()}) {
            if (widget) {
                widget->setGraphicsEffect(nullptr);
            }
        }
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace tarnwick
