#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class QFrame;
class QTabBar;

namespace tarnwick {

class KVBSystemProfileProvider;
class KVBTextView;
class KVBTextViewScroller;
class KVBTransparentSpinner;

// What the profile holds, shown before it is sent: tabs "System", "Console" and "Preferences"
// over a read-only text. The spinner turns while the selected text is empty.
class KVBSystemProfileViewController : public QWidget {
    Q_OBJECT

public:
    explicit KVBSystemProfileViewController(std::shared_ptr<KVBSystemProfileProvider> provider,
                                            QWidget* parent = nullptr);
    ~KVBSystemProfileViewController() override;

    // Shows the pop-up below the rectangle of `view`, or closes it when it is shown.
    void showPopoverRelativeToRect(const QRect& rect, QWidget* view);
    // Where a pop-up of `size` goes for an anchor rectangle (global coordinates): above it where
    // it fits on the screen, else below, and moved sideways and up or down so all of it stays
    // inside the screen's available area.
    static QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available);
    bool isPopoverShown() const;
    void updateUIForCurrentTab();

    QTabBar* tabs() const { return m_tabs; }
    KVBTextView* textView() const { return m_textView; }
    KVBTransparentSpinner* spinner() const { return m_spinner; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::shared_ptr<KVBSystemProfileProvider> m_provider;
    QTabBar* m_tabs;
    KVBTextView* m_textView;
    KVBTextViewScroller* m_scroller;
    KVBTransparentSpinner* m_spinner;
    QPointer<QFrame> m_popover;
};

}  // namespace tarnwick
