#include "Screens/AppMonitor/Views/AppMonitorView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "Screens/AppMonitor/PUApplication.h"
#include "Screens/AppMonitor/Views/AppMonitorHeader.h"
#include "Screens/AppMonitor/Views/AppMonitorInProgressView.h"
#include "Screens/AppMonitor/Views/AppMonitorStandByView.h"
#include "Screens/AppMonitor/Views/FileManagerReveal.h"

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QVBoxLayout>

namespace tarnwick {

AppMonitorView::AppMonitorView(std::shared_ptr<AppMonitorViewModel> viewModel,
                               NotificationCenter& notificationCenter,
                               AppMonitorResultView::ShowInFileManager showInFileManager,
                               QWidget* parent)
    : QWidget(parent)
    , m_viewModel(std::move(viewModel))
    , m_showInFileManager(std::move(showInFileManager)) {
    setObjectName(QStringLiteral("AppMonitorView"));
    if (!m_showInFileManager) {
        // The scanned copy itself, as the removal takes it: another copy may have the same id.
        m_showInFileManager = [this](const std::shared_ptr<PUApplication>& application) {
            if (application) {
                revealInFileManager(*application, this);
            }
        };
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    std::weak_ptr<AppMonitorViewModel> weak = m_viewModel;
    m_header = new AppMonitorHeader(
        [weak](ScanState state) {
            if (auto model = weak.lock()) {
                model->setScanState(state);
            }
        },
        [weak] {
            if (auto model = weak.lock()) {
                model->startScan();
            }
        },
        notificationCenter, this);
    column->addWidget(m_header);

    bindPublisher(m_viewModel->scanState().publisher(), this, [this](ScanState state) {
        m_header->setScanState(state);
        showBody(state);
    });
    bindPublisher(m_viewModel->didFetchUndesirableCountries().publisher(), this,
                  [this](bool enabled) { m_header->setButtonEnabled(enabled); });
}

AppMonitorView::~AppMonitorView() = default;

void AppMonitorView::revealInFileManager(const PUApplication& application, QWidget* parent,
                                         const FileManagerReveal& reveal) {
    const std::filesystem::path item = application.bundleURL().value_or(std::filesystem::path());
    const QString name = QString::fromStdString(application.name());
    const QString place = QString::fromStdString(
        (item.has_filename() ? item : item.parent_path()).parent_path().string());
    QPointer<QWidget> owner(parent);
    reveal.show(item, [owner, name, place](FileManagerReveal::Outcome outcome) {
        if (!owner || (outcome != FileManagerReveal::Outcome::failed &&
                       outcome != FileManagerReveal::Outcome::missing)) {
            return;
        }
        auto* message = new QMessageBox(owner->window());
        message->setObjectName(QStringLiteral("showInFileManagerMessage"));
        message->setAttribute(Qt::WA_DeleteOnClose);
        message->setIcon(QMessageBox::Warning);
        message->setWindowTitle(QStringLiteral("Show in File Manager"));
        message->setTextFormat(Qt::PlainText);
        if (outcome == FileManagerReveal::Outcome::missing) {
            message->setText(
                QStringLiteral("\u201c%1\u201d is no longer where the scan found it.").arg(name));
        } else {
            message->setText(
                QStringLiteral("No file manager could show \u201c%1\u201d.").arg(name));
            message->setInformativeText(QStringLiteral("It is in %1").arg(place));
            // The box's text format covers only its main text; a folder's name is shown as
            // written here too.
            if (auto* informative =
                    message->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
                informative->setTextFormat(Qt::PlainText);
            }
        }
        message->setStandardButtons(QMessageBox::Ok);
        message->open();
    });
}

void AppMonitorView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_viewModel->refreshDidFetchUndesirableCountries();
}

void AppMonitorView::showBody(ScanState state) {
    if (m_bodyState == state && m_body) {
        return;
    }
    m_bodyState = state;
    auto* column = static_cast<QVBoxLayout*>(layout());
    if (m_body) {
        // The old body may be the one whose handler changed the state: it goes once that returns.
        column->removeWidget(m_body);
        m_body->hide();
        m_body->deleteLater();
    }
    switch (state) {
        case ScanState::standBy:
            m_body = new AppMonitorStandByView(*m_viewModel, this);
            break;
        case ScanState::active:
            m_body = new AppMonitorInProgressView(*m_viewModel, this);
            break;
        case ScanState::done:
            m_body = new AppMonitorResultView(*m_viewModel, m_showInFileManager, this);
            break;
    }
    column->addWidget(m_body, 1);
    m_body->show();
}

}  // namespace tarnwick
