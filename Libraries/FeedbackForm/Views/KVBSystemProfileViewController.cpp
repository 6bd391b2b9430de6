#include "KVBSystemProfileViewController.h"

#include "Dispatch/DispatchQueue.h"
#include "FeedbackForm/KVBSystemProfileProvider.h"
#include "KVBBundleHelper.h"
#include "KVBLocalizedString.h"
#include "KVBTextView.h"
#include "KVBTextViewScroller.h"
#include "KVBTransparentSpinner.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

KVBSystemProfileViewController::KVBSystemProfileViewController(
    std::shared_ptr<KVBSystemProfileProvider> provider, QWidget* parent)
    : QWidget(parent), m_provider(std::move(provider)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(15);

    m_tabs = new QTabBar(this);
    m_tabs->setFont(kvbSystemFont(11));
    m_tabs->setExpanding(true);
    m_tabs->setDrawBase(false);
    for (const char* title : {"System", "Console", "Preferences"}) {
        m_tabs->addTab(kvbLocalizedString(title, "Tab title in system profile pop-up"));
    }
    m_tabs->setCurrentIndex(0);
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { updateUIForCurrentTab(); });
    layout->addWidget(m_tabs, 0, Qt::AlignHCenter);

    m_textView = new KVBTextView;
    m_textView->setFont(kvbSystemFont(12));
    m_textView->setReadOnly(true);  // readable in full colour, but not editable
    m_textView->setFocusPolicy(Qt::ClickFocus);
    m_scroller = new KVBTextViewScroller(m_textView, this);
    m_scroller->setCornerRadius(2);
    m_scroller->setFixedSize(545, 255);
    layout->addWidget(m_scroller);

    m_spinner = new KVBTransparentSpinner(m_scroller);
    m_spinner->setFixedSize(32, 32);
    m_spinner->move((545 - 32) / 2, (255 - 32) / 2);
    m_spinner->startAnimation();
}

KVBSystemProfileViewController::~KVBSystemProfileViewController() {
    if (m_popover) {
        setParent(nullptr);  // the pop-up holds this view; it must not delete it a second time
        delete m_popover.data();
    }
}

void KVBSystemProfileViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateUIForCurrentTab();
}

void KVBSystemProfileViewController::updateUIForCurrentTab() {
    QPointer<KVBSystemProfileViewController> self(this);
    m_provider->gatherSystemProfileData([self](const std::string& systemInfo,
                                               const std::string& logInfo,
                                               const std::string& preferences) {
        DispatchQueue::main()->async([self, systemInfo, logInfo, preferences] {
            if (!self) {
                return;
            }
            const int tab = self->m_tabs->currentIndex();
            const std::string& text = tab == 0 ? systemInfo : tab == 1 ? logInfo : preferences;
            self->m_textView->setPlainText(QString::fromStdString(text));
            self->m_spinner->setVisible(text.empty());
        });
    });
}

bool KVBSystemProfileViewController::isPopoverShown() const {
    return m_popover && m_popover->isVisible();
}

QPoint KVBSystemProfileViewController::popoverPosition(const QRect& anchor, const QSize& size,
                                                       const QRect& available) {
    constexpr int gap = 4;
    int top = anchor.top() - gap - size.height();
    if (!available.isEmpty() && top < available.top()) {
        top = anchor.bottom() + 1 + gap;
    }
    int left = anchor.x() + anchor.width() / 2 - size.width() / 2;
    if (available.isEmpty()) {
        return {left, top};
    }
    left = std::max(available.left(), std::min(left, available.right() + 1 - size.width()));
    top = std::max(available.top(), std::min(top, available.bottom() + 1 - size.height()));
    return {left, top};
}

void KVBSystemProfileViewController::showPopoverRelativeToRect(const QRect& rect, QWidget* view) {
    if (isPopoverShown()) {
        m_popover->hide();
        return;
    }
    if (!m_popover) {
        // Made once and kept; it closes when the user clicks elsewhere.
        m_popover = new QFrame(nullptr, Qt::Popup);
        m_popover->setFrameShape(QFrame::StyledPanel);
        auto* layout = new QVBoxLayout(m_popover);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(this);
    }
    // Measured with the profile in it: the form keeps it hidden until now, and a pop-up sized
    // without it is placed by a corner that the full size then pushes off the screen.
    show();
    m_popover->adjustSize();
    const QRect anchor = view ? QRect(view->mapToGlobal(rect.topLeft()), rect.size()) : rect;
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) {
        screen = view ? view->screen() : QGuiApplication::primaryScreen();
    }
    const QRect available = screen ? screen->availableGeometry() : QRect();
    m_popover->move(popoverPosition(anchor, m_popover->size(), available));
    m_popover->show();
}

}  // namespace tarnwick
