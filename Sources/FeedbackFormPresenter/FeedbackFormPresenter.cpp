#include "FeedbackFormPresenter.h"

#include "FeedbackForm/KVBHelpDeskFeedbackSender.h"
#include "FeedbackForm/KVBHostApplication.h"
#include "FeedbackForm/Views/KVBFeedbackController.h"
#include "FeedbackForm/Views/KVBInterfaceSettings.h"
#include "FeedbackFormPresenter/HelpDeskAccount.h"
#include "Logging/FileDestination.h"
#include "Logging/LogHub.h"

#include <QApplication>
#include <QIcon>
#include <QImage>

namespace tarnwick {

FeedbackFormPresenter::HelpDeskAccount FeedbackFormPresenter::HelpDeskAccount::fromBuildSettings() {
    return {buildsettings::helpDeskSubdomain, buildsettings::helpDeskToken,
            buildsettings::productName, buildsettings::helpDeskServiceURL};
}

FeedbackFormPresenter::FeedbackFormPresenter(ContextLog log)
    : FeedbackFormPresenter(log, HelpDeskAccount::fromBuildSettings(), nullptr) {}

FeedbackFormPresenter::FeedbackFormPresenter(ContextLog log, HelpDeskAccount account,
                                             ControllerFactory factory)
    : m_log(log), m_account(std::move(account)), m_factory(std::move(factory)) {
    if (!m_factory) {
        m_factory = [](std::shared_ptr<KVBFeedbackSender> sender) {
            return std::make_unique<KVBFeedbackController>(std::move(sender));
        };
    }
}

FeedbackFormPresenter::~FeedbackFormPresenter() = default;

std::unique_ptr<KVBFeedbackController> FeedbackFormPresenter::makeFeedbackFormController() {
    std::shared_ptr<KVBFeedbackSender> sender =
        m_account.serviceURL.empty()
            ? KVBHelpDeskFeedbackSender::make(m_account.subdomain, m_account.token,
                                              m_account.productName)
            : KVBHelpDeskFeedbackSender::make(m_account.subdomain, m_account.token,
                                              m_account.productName, m_account.serviceURL);
    auto controller = m_factory(std::move(sender));

    QImage icon = QApplication::windowIcon().pixmap(128, 128).toImage();
    if (icon.isNull()) {
        const auto& file = KVBHostApplication::sharedInstance().iconFile();
        if (!file.empty()) {
            icon = QImage(QString::fromStdString(file.string()));
        }
    }
    controller->settings()->setIcon(icon);

    std::vector<std::filesystem::path> logURLs;
    for (const auto& destination : LogHub::destinations()) {
        if (const auto file = std::dynamic_pointer_cast<FileDestination>(destination)) {
            if (const auto& url = file->logFileURL()) {
                logURLs.push_back(*url);
            }
        }
    }
    controller->setLogURLs(std::move(logURLs));

    std::weak_ptr<int> alive = m_alive;
    const ContextLog log = m_log;
    controller->setOnDidSendFeedback([alive, log](std::optional<KVBError> error) {
        if (alive.expired()) {
            return;
        }
        if (error) {
            log.error("Failed sending feedback: " + error->localizedDescription);
        } else {
            log.info("Successfully sent feedback.");
        }
    });
    return controller;
}

void FeedbackFormPresenter::presentFeedbackForm() {
    if (!m_feedbackFormController) {
        m_feedbackFormController = makeFeedbackFormController();
    }
    m_feedbackFormController->showWindow();
    m_log.info("Did present feedback form.");
}

}  // namespace tarnwick
