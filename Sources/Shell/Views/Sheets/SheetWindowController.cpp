#include "Shell/Views/Sheets/SheetWindowController.h"

#include "Dispatch/DispatchQueue.h"
#include "Shell/Views/Sheets/DimView.h"
#include "Shell/Views/Sheets/ScaleFadeEffect.h"
#include "Tools/Log/ContextLog.h"
#include "WidgetKit/Layout/EdgeLayout.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

// One property of an effect from `from` to `to` on the curve (0.25, 0.1, 0.25, 1.0), after
// `delay`. A later animation of the same property replaces the running one, so a dismissal does
// not fight a presentation still under way.
void animate(QObject* effect, const char* property, double from, double to, int milliseconds,
             int delay) {
    const QString key = QStringLiteral("animation-") + QLatin1String(property);
    if (auto* running = effect->findChild<QAbstractAnimation*>(key)) {
        running->stop();
    }
    effect->setProperty(property, from);
    auto* group = new QSequentialAnimationGroup(effect);
    group->setObjectName(key);
    if (delay > 0) {
        group->addPause(delay);
    }
    auto* animation = new QPropertyAnimation(effect, property, group);
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setDuration(milliseconds);
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.25, 0.1), QPointF(0.25, 1.0), QPointF(1, 1));
    animation->setEasingCurve(curve);
    group->addAnimation(animation);
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

ContextLog& sheetLog() {
    static ContextLog log(LogContextType::sheets);
    return log;
}

}  // namespace

SheetViewController::SheetViewController(QWidget* parent)
    : QWidget(parent), m_dimView(new DimView(this)), m_container(new QWidget(this)) {
    m_dimOpacity = new QGraphicsOpacityEffect(m_dimView);
    m_dimOpacity->setOpacity(0);
    m_dimView->setGraphicsEffect(m_dimOpacity);
    m_containerEffect = new ScaleFadeEffect(m_container);
    m_containerEffect->setOpacity(0);
    m_containerEffect->setScale(kHiddenScale);
    m_container->setGraphicsEffect(m_containerEffect);
    EdgeLayout::autoPinEdgesToSuperviewEdges(m_dimView);
    EdgeLayout::autoCenterInSuperview(m_container);
}

void SheetViewController::animatePresentation(std::function<void()> completion,
                                              Scheduler& scheduler) {
    animate(m_dimOpacity, "opacity", 0, 1, 500, 0);
    animate(m_containerEffect, "opacity", 0, 1, 300, 200);
    animate(m_containerEffect, "scale", kHiddenScale, 1, 300, 200);
    DispatchQueue::main()->asyncAfter(presentationDuration, std::move(completion), scheduler);
}

void SheetViewController::animateDismissal(std::function<void()> completion, Scheduler& scheduler) {
    animate(m_dimOpacity, "opacity", 1, 0, 300, 0);
    animate(m_containerEffect, "opacity", 1, 0, 300, 0);
    animate(m_containerEffect, "scale", 1, kHiddenScale, 300, 0);
    DispatchQueue::main()->asyncAfter(dismissalDuration, std::move(completion), scheduler);
}

SheetWindowController::SheetWindowController(QWidget* parentWindow, Scheduler& scheduler)
    : QObject(parentWindow), m_parentWindow(parentWindow), m_scheduler(scheduler) {
    // The sheet is a layer over the whole parent window, so it covers it exactly on every window
    // manager and moves and resizes with it.
    m_sheetWindow = new QWidget(parentWindow);
    m_sheetWindow->setObjectName(QStringLiteral("SheetWindow"));
    m_sheetWindow->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(m_sheetWindow);
    layout->setContentsMargins(0, 0, 0, 0);
    m_sheetViewController = new SheetViewController(m_sheetWindow);
    layout->addWidget(m_sheetViewController);
    m_sheetWindow->hide();
    parentWindow->installEventFilter(this);
}

SheetWindowController::~SheetWindowController() {
    *m_alive = false;
}

bool SheetWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_parentWindow && event->type() == QEvent::Resize && m_sheetWindow) {
        m_sheetWindow->setGeometry(m_parentWindow->rect());
    }
    return QObject::eventFilter(watched, event);
}

void SheetWindowController::present(std::shared_ptr<SheetContent> content,
                                    bool dismissOnDimmedAreaClick,
                                    std::function<void()> completion) {
    if (m_currentContent) {
        sheetLog().warning("Won't present sheet for " + std::string(caseName(content->kind())) +
                           ", already presenting sheet for " +
                           std::string(caseName(m_currentContent->kind())) + ".");
        if (completion) {
            completion();
        }
        return;
    }
    m_currentContent = content;
    QWidget* view = content->view();
    view->setParent(m_sheetViewController->sheetContentContainer());
    EdgeLayout::autoPinEdgesToSuperviewEdges(view);
    view->show();

    m_sheetWindow->setGeometry(m_parentWindow->rect());
    m_sheetWindow->show();
    m_sheetWindow->raise();
    // Keys such as Escape go to the content; no control of the window keeps the focus.
    view->setFocus(Qt::OtherFocusReason);

    std::weak_ptr<bool> alive = m_alive;
    m_sheetViewController->animatePresentation(
        [this, alive, content, dismissOnDimmedAreaClick, completion] {
            if (alive.expired()) {
                return;
            }
            content->onDismiss = [this, alive] {
                if (!alive.expired()) {
                    dismiss();
                }
            };
            if (dismissOnDimmedAreaClick) {
                m_sheetViewController->onDimmedAreaClicked = content->onDismiss;
                m_sheetViewController->dimView()->onClick = content->onDismiss;
            }
            sheetLog().info("Did present sheet for " + std::string(caseName(content->kind())) +
                            ".");
            if (completion) {
                completion();
            }
        },
        m_scheduler);
}

void SheetWindowController::dismiss() {
    if (!m_currentContent) {
        return;
    }
    const std::shared_ptr<SheetContent> content = m_currentContent;
    std::weak_ptr<bool> alive = m_alive;
    m_sheetViewController->animateDismissal(
        [this, alive, content] {
            if (!alive.expired()) {
                finishDismissal(content);
            }
        },
        m_scheduler);
}

void SheetWindowController::finishDismissal(const std::shared_ptr<SheetContent>& content) {
    if (m_currentContent != content) {
        return;
    }
    m_sheetWindow->hide();
    if (QWidget* view = content->view()) {
        view->hide();
        view->setParent(nullptr);
    }
    m_currentContent.reset();
    m_sheetViewController->onDimmedAreaClicked = nullptr;
    m_sheetViewController->dimView()->onClick = nullptr;
    sheetLog().info("Did dismiss sheet for " + std::string(caseName(content->kind())) + ".");
}

}  // namespace tarnwick
