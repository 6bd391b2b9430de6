#pragma once

#include "Dispatch/Scheduler.h"
#include "Shell/Views/Sheets/SheetContent.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QGraphicsOpacityEffect;

namespace tarnwick {

class DimView;
class ScaleFadeEffect;

// The sheet's view: the dimming over the whole window and, centred on it, the content container.
class SheetViewController : public QWidget {
    Q_OBJECT

public:
    static constexpr Scheduler::Duration presentationDuration = std::chrono::milliseconds(500);
    static constexpr Scheduler::Duration dismissalDuration = std::chrono::milliseconds(300);
    // The panel's size, as a share of its own, when it starts to grow in and ends shrinking out.
    static constexpr double kHiddenScale = 0.8;

    explicit SheetViewController(QWidget* parent = nullptr);

    DimView* dimView() const { return m_dimView; }
    QWidget* sheetContentContainer() const { return m_container; }
    ScaleFadeEffect* sheetContentEffect() const { return m_containerEffect; }
    std::function<void()> onDimmedAreaClicked;

    // Fades the dimming in, then the content 0.2 s later while it grows from 0.8 of its size about
    // its centre; the completion runs when all end.
    void animatePresentation(std::function<void()> completion, Scheduler& scheduler);
    void animateDismissal(std::function<void()> completion, Scheduler& scheduler);

private:
    DimView* m_dimView;
    QWidget* m_container;
    QGraphicsOpacityEffect* m_dimOpacity;
    ScaleFadeEffect* m_containerEffect;
};

// Shows one sheet at a time over its window: a layer over the whole window that dims it and
// holds the content centred, fading in and out. A request while a sheet shows is refused with a
// warning; the content may close itself only once the entry animation is over.
class SheetWindowController : public QObject {
    Q_OBJECT

public:
    explicit SheetWindowController(QWidget* parentWindow,
                                   Scheduler& scheduler = Scheduler::system());
    ~SheetWindowController() override;

    void present(std::shared_ptr<SheetContent> content, bool dismissOnDimmedAreaClick,
                 std::function<void()> completion = {});
    void dismiss();

    bool isPresenting() const { return m_currentContent != nullptr; }
    const std::shared_ptr<SheetContent>& currentContent() const { return m_currentContent; }
    QWidget* sheetWindow() const { return m_sheetWindow; }
    SheetViewController* sheetViewController() const { return m_sheetViewController; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void finishDismissal(const std::shared_ptr<SheetContent>& content);

    QPointer<QWidget> m_parentWindow;
    Scheduler& m_scheduler;
    QPointer<QWidget> m_sheetWindow;
    SheetViewController* m_sheetViewController;
    std::shared_ptr<SheetContent> m_currentContent;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace tarnwick
