#include "KVBFeedbackController.h"

#include "FeedbackForm/KVBDefaultSystemProfileProvider.h"
#include "FeedbackForm/KVBFeedbackSender.h"
#include "FeedbackForm/KVBHostApplication.h"
#include "KVBDefaultFileSelectionManager.h"
#include "KVBInterfaceSettings.h"
#include "KVBLocalizedString.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace tarnwick {

KVBWindow::KVBWindow()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The window takes the size its form asks for.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // Closed from the keyboard as any window of this desktop; Escape in keyPressEvent.
    auto* closeKeys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
    connect(closeKeys, &QShortcut::activated, this, &QWidget::close);
}

void KVBWindow::keyPressEvent(QKeyEvent* event) {
    // Only an Escape that no control took: an open list or menu closes first, not the form.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

KVBFeedbackController::KVBFeedbackController(std::shared_ptr<KVBFeedbackSender> feedbackSender,
                                             std::shared_ptr<KVBInterfaceSettings> settings)
    : m_feedbackSender(std::move(feedbackSender))
    , m_alerts(std::make_shared<KVBMessageBoxAlertPresenter>()) {
    setup(std::move(settings), nullptr, nullptr);
}

KVBFeedbackController::KVBFeedbackController(std::shared_ptr<KVBFeedbackSender> feedbackSender,
                                             std::shared_ptr<KVBInterfaceSettings> settings,
                                             std::shared_ptr<KVBSystemProfileProvider> provider,
                                             std::shared_ptr<KVBFileSelectionManager> files,
                                             std::shared_ptr<KVBAlertPresenter> alerts)
    : m_feedbackSender(std::move(feedbackSender)), m_alerts(std::move(alerts)) {
    if (!m_alerts) {
        m_alerts = std::make_shared<KVBMessageBoxAlertPresenter>();
    }
    setup(std::move(settings), std::move(provider), std::move(files));
}

KVBFeedbackController::~KVBFeedbackController() {
    delete m_window.data();
}

void KVBFeedbackController::setup(std::shared_ptr<KVBInterfaceSettings> settings,
                                  std::shared_ptr<KVBSystemProfileProvider> provider,
                                  std::shared_ptr<KVBFileSelectionManager> files) {
    m_window = new KVBWindow;
    if (!files) {
        files = std::make_shared<KVBDefaultFileSelectionManager>(m_window);
    }
    m_systemProfileProvider =
        provider
            ? std::move(provider)
            : std::shared_ptr<KVBSystemProfileProvider>(KVBDefaultSystemProfileProvider::make());
    m_mainViewController = new KVBMainViewController(
        m_feedbackSender, std::move(files), m_systemProfileProvider,
        settings ? std::move(settings) : KVBInterfaceSettings::defaultSettings(), m_window);
    m_mainViewController->setDelegate(this);
    m_window->layout()->addWidget(m_mainViewController);
}

std::vector<std::filesystem::path> KVBFeedbackController::logURLs() const {
    return m_systemProfileProvider->logURLs();
}

void KVBFeedbackController::setLogURLs(std::vector<std::filesystem::path> urls) {
    m_systemProfileProvider->setLogURLs(std::move(urls));
}

std::string KVBFeedbackController::userDefaultsDomain() const {
    return m_systemProfileProvider->userDefaultsDomain();
}

void KVBFeedbackController::setUserDefaultsDomain(std::string domain) {
    m_systemProfileProvider->setUserDefaultsDomain(std::move(domain));
}

std::shared_ptr<KVBInterfaceSettings> KVBFeedbackController::settings() const {
    return m_mainViewController->settings();
}

void KVBFeedbackController::showWindow() {
    m_window->show();
    m_window->adjustSize();
    QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        QRect frame = m_window->frameGeometry();
        frame.moveCenter(available.center());
        m_window->move(frame.topLeft());
    }
    m_window->raise();
    m_window->activateWindow();
}

void KVBFeedbackController::mainViewControllerDidSendFeedbackWithError(
    KVBMainViewController*, std::optional<KVBError> error) {
    performActionsIfNeededOnFeedbackSentWithError(error);
    if (m_onDidSendFeedback) {
        m_onDidSendFeedback(error);
    }
}

void KVBFeedbackController::performActionsIfNeededOnFeedbackSentWithError(
    const std::optional<KVBError>& error) {
    if ((error && !m_showsGenericErrorSheet) || (!error && !m_showsGenericSuccessAlert)) {
        return;
    }
    if (error) {
        KVBAlertPresenter::Alert alert;
        if (error->code == KVBError::notConnectedToInternet) {
            alert = alertWithTitle(
                kvbLocalizedString("Report could not be sent due to a connection problem.",
                                   "Internet connection error title."),
                kvbLocalizedString(
                    "Please check your Internet connection or Firewall settings and try again.",
                    "Internet connection error text."));
        } else {
            alert = alertWithTitle(
                kvbLocalizedString("An error occurred while sending report.",
                                   "Generic error title."),
                kvbLocalizedString("Please make sure you've filled the form correctly and try "
                                   "again (error code: %1).",
                                   "Generic error text.")
                    .arg(error->code));
        }
        m_alerts->presentSheet(alert, m_window);
        return;
    }
    m_window->close();
    m_alerts->runApplicationModal(alertWithTitle(
        kvbLocalizedString("Feedback successfully sent!",
                           "Successful feedback send message title."),
        kvbLocalizedString("Every user report gets carefully analyzed, however, not all requests "
                           "will be answered directly.\nThank you for helping us make our "
                           "products better!",
                           "Successful feedback send message text.")));
}

KVBAlertPresenter::Alert KVBFeedbackController::alertWithTitle(const QString& title,
                                                               const QString& text) const {
    QImage icon = settings() ? settings()->icon() : QImage();
    if (icon.isNull()) {
        const auto& file = KVBHostApplication::sharedInstance().iconFile();
        if (!file.empty()) {
            icon = QImage(QString::fromStdString(file.string()));
        }
    }
    return {title, text, icon};
}

}  // namespace tarnwick
