#include "Screens/AppMonitor/Views/AppMonitorResultView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Screens/AppMonitor/Views/AppMonitorCellView.h"
#include "Screens/AppMonitor/Views/ApplicationIcon.h"
#include "Screens/AppMonitor/Views/NoNetworkLabel.h"
#include "Screens/AppMonitor/Views/UninstallPopUpView.h"
#include "Screens/AppMonitor/Views/ViewText.h"
#include "WidgetKit/Controls/ScrollGradientView.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QGraphicsBlurEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarnwick {

using namespace appmonitorviews;

namespace {

// Blank room above the first row and below the last; no fade is drawn over it alone, which would
// make the last row look disabled while all of it is in sight.
constexpr int listTopPadding = 24;
constexpr int listBottomPadding = 64;

// The list with its edge fades and, while asked, the pop-up over all of it.
class ListArea : public QWidget {
public:
    ListArea(QWidget* parent) : QWidget(parent) {
        m_top = new ScrollGradientView(true, 36, this);
        m_bottom = new ScrollGradientView(false, 70, this);
    }
    QScrollArea* scrollArea = nullptr;
    QPointer<QWidget> overlay;

    void follow(QScrollArea* list) {
        scrollArea = list;
        m_top->followScrolling(list, listTopPadding);
        m_bottom->followScrolling(list, listBottomPadding);
    }

    void place() {
        if (scrollArea) {
            const QRect list = scrollArea->geometry();
            m_top->setGeometry(list.x(), list.y(), list.width(), m_top->height());
            m_bottom->setGeometry(list.x(), list.bottom() + 1 - m_bottom->height(), list.width(),
                                  m_bottom->height());
            m_top->raise();
            m_bottom->raise();
        }
        if (overlay) {
            overlay->setGeometry(rect());
            overlay->raise();
        }
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        place();
    }

private:
    ScrollGradientView* m_top;
    ScrollGradientView* m_bottom;
};

}  // namespace

AppMonitorResultView::AppMonitorResultView(AppMonitorViewModel& viewModel,
                                           ShowInFileManager showInFileManager, QWidget* parent)
    : QWidget(parent), m_viewModel(viewModel), m_showInFileManager(std::move(showInFileManager)) {
    setObjectName(QStringLiteral("AppMonitorResultView"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(30, 0, 0, 0);

    auto* titleRow = new QHBoxLayout();
    titleRow->setContentsMargins(2, 0, 0, 8);
    auto* title = new QLabel(QStringLiteral("Potentially unwanted apps on your computer"), this);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(Typeface::font(typefaceFace::semiBold, 16));
    titleRow->addWidget(title);
    titleRow->addStretch();
    m_noNetworkLabel = new NoNetworkLabel(this);
    titleRow->addWidget(m_noNetworkLabel);
    column->addLayout(titleRow);

    m_removalFailure = new QLabel(this);
    m_removalFailure->setObjectName(QStringLiteral("removalFailure"));
    // It quotes the application's name and the remover's own output.
    m_removalFailure->setTextFormat(Qt::PlainText);
    m_removalFailure->setFont(Typeface::font(typefaceFace::regular, 12));
    setTextColor(m_removalFailure, Appearance::color(NamedColor::close()));
    m_removalFailure->setContentsMargins(2, 0, 0, 4);
    m_removalFailure->setWordWrap(true);
    m_removalFailure->hide();
    column->addWidget(m_removalFailure);

    auto* listArea = new ListArea(this);
    m_listArea = listArea;
    QPalette background = m_listArea->palette();
    background.setColor(QPalette::Window, Appearance::color(NamedColor::windowBackgroundColor()));
    m_listArea->setPalette(background);
    m_listArea->setAutoFillBackground(true);
    auto* listRow = new QHBoxLayout(m_listArea);
    listRow->setContentsMargins(0, 0, 30, 0);
    m_scrollArea = new QScrollArea(m_listArea);
    m_scrollArea->setObjectName(QStringLiteral("list"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setMinimumSize(350, 400);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    m_rows = new QWidget();
    m_rowColumn = new QVBoxLayout(m_rows);
    m_rowColumn->setContentsMargins(0, listTopPadding, 0, listBottomPadding);
    m_rowColumn->setSpacing(0);
    m_rowColumn->addStretch();
    m_scrollArea->setWidget(m_rows);
    m_rows->setAutoFillBackground(false);  // after setWidget, which turns it on
    listRow->addWidget(m_scrollArea);
    listArea->follow(m_scrollArea);
    column->addWidget(m_listArea, 1);

    bindPublisher(
        viewModel.puApplications().publisher(), this,
        [this](const AppMonitorViewModel::Applications& applications) { showRows(applications); });
    bindPublisher(
        viewModel.networkStatusForLastScan().publisher(), this,
        [this](bool networkStatus) { m_noNetworkLabel->setNetworkStatus(networkStatus); });
}

UninstallPopUpView* AppMonitorResultView::uninstallPopUp() const {
    return m_uninstallPopUp.data();
}

std::vector<AppMonitorCellView*> AppMonitorResultView::cells() const {
    std::vector<AppMonitorCellView*> cells;
    for (int index = 0; index < m_rowColumn->count(); ++index) {
        if (auto* cell = qobject_cast<AppMonitorCellView*>(m_rowColumn->itemAt(index)->widget())) {
            cells.push_back(cell);
        }
    }
    return cells;
}

void AppMonitorResultView::showRows(
    const std::vector<std::shared_ptr<PUApplication>>& applications) {
    for (AppMonitorCellView* cell : cells()) {
        m_rowColumn->removeWidget(cell);
        cell->deleteLater();
    }
    int index = 0;
    for (const auto& application : applications) {
        auto* cell = new AppMonitorCellView(
            application,
            [this](const std::shared_ptr<PUApplication>& chosen) { requestRemoval(chosen); },
            m_showInFileManager, m_rows);
        m_rowColumn->insertWidget(index++, cell);
    }
}

void AppMonitorResultView::requestRemoval(const std::shared_ptr<PUApplication>& application) {
    m_removalFailure->hide();
    if (m_uninstallPopUp) {
        m_uninstallPopUp->deleteLater();
    }
    const QIcon icon = ApplicationIcon::of(*application);
    std::weak_ptr<PUApplication> weak = application;
    m_uninstallPopUp = new UninstallPopUpView(
        icon, qtext(application->name()),
        [this, weak](bool uninstall) {
            if (auto chosen = weak.lock()) {
                confirm(chosen, uninstall);
            }
        },
        m_listArea);
    if (const auto refusal = UninstallPopUpView::refusalFor(*application)) {
        m_uninstallPopUp->setQuestion(*refusal);
        m_uninstallPopUp->setRemovable(false);
    } else {
        m_uninstallPopUp->setQuestion(UninstallPopUpView::questionFor(*application));
    }
    // A tap beside the card closes it at once; the card stays until the next request.
    m_uninstallPopUp->onTapOutside = [this] { setPopUpPresented(false); };
    static_cast<ListArea*>(m_listArea)->overlay = m_uninstallPopUp.data();
    setPopUpPresented(true);
}

void AppMonitorResultView::setPopUpPresented(bool presented) {
    m_isUninstallPopUpPresented = presented;
    m_scrollArea->setEnabled(!presented);
    if (presented) {
        auto* blur = new QGraphicsBlurEffect(m_scrollArea);
        blur->setBlurRadius(1.2);
        m_scrollArea->setGraphicsEffect(blur);
    } else {
        m_scrollArea->setGraphicsEffect(nullptr);
    }
    if (m_uninstallPopUp) {
        static_cast<ListArea*>(m_listArea)->place();
        m_uninstallPopUp->setVisible(presented);
        if (presented) {
            m_uninstallPopUp->setFocus();
        }
    }
}

void AppMonitorResultView::confirm(const std::shared_ptr<PUApplication>& application,
                                   bool uninstall) {
    setPopUpPresented(false);
    if (!uninstall) {
        cleanUp();
        return;
    }
    // The answer comes once the password prompt is answered, on the main queue; the view may be
    // gone by then.
    QPointer<AppMonitorResultView> self(this);
    m_viewModel.removeApplication(application, [self, name = application->name()](bool removed) {
        if (!self) {
            return;
        }
        self->cleanUp();
        if (!removed) {
            // A desktop application's removal says why; a bundle's remover only that it failed.
            const auto& error = self->m_viewModel.lastRemovalError();
            self->m_removalFailure->setText(
                error ? qtext(*error)
                      : QStringLiteral("%1 was not uninstalled: the removal was refused or failed.")
                            .arg(qtext(name)));
            self->m_removalFailure->show();
        }
    });
}

void AppMonitorResultView::cleanUp() {
    if (m_uninstallPopUp) {
        m_uninstallPopUp->deleteLater();
        m_uninstallPopUp = nullptr;
    }
    if (m_viewModel.puApplications().get().empty()) {
        m_viewModel.setScanState(ScanState::standBy);
    }
}

}  // namespace tarnwick
