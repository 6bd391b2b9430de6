#pragma once

#include "FeedbackForm/KVBError.h"
#include "KVBAlertPresenter.h"
#include "KVBMainViewController.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

class KVBAlertPresenter;
class KVBFeedbackSender;
class KVBFileSelectionManager;
class KVBInterfaceSettings;
class KVBSystemProfileProvider;

// The feedback window: titled and closable, sized by its form.
class KVBWindow : public QWidget {
    Q_OBJECT

public:
    KVBWindow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The library's entry point for a host: builds the window and the form around a sender, shows the
// window centred, and after every send shows the outcome (the window closes and a success alert
// runs; a failure shows a sheet and the window stays) before the host's handler hears it.
class KVBFeedbackController : public QObject, public KVBMainViewControllerDelegate {
    Q_OBJECT

public:
    explicit KVBFeedbackController(std::shared_ptr<KVBFeedbackSender> feedbackSender,
                                   std::shared_ptr<KVBInterfaceSettings> settings = nullptr);
    // `provider`, `files` and `alerts` replace the defaults.
    // Used for testing only
    KVBFeedbackController(std::shared_ptr<KVBFeedbackSender> feedbackSender,
                          std::shared_ptr<KVBInterfaceSettings> settings,
                          std::shared_ptr<KVBSystemProfileProvider> provider,
                          std::shared_ptr<KVBFileSelectionManager> files,
                          std::shared_ptr<KVBAlertPresenter> alerts);
    ~KVBFeedbackController() override;

    KVBWindow* window() const { return m_window; }
    KVBMainViewController* mainViewController() const { return m_mainViewController; }

    const std::shared_ptr<KVBFeedbackSender>& feedbackSender() const { return m_feedbackSender; }
    const std::shared_ptr<KVBSystemProfileProvider>& systemProfileProvider() const {
        return m_systemProfileProvider;
    }
    std::vector<std::filesystem::path> logURLs() const;
    void setLogURLs(std::vector<std::filesystem::path> urls);
    std::string userDefaultsDomain() const;
    void setUserDefaultsDomain(std::string domain);
    std::shared_ptr<KVBInterfaceSettings> settings() const;

    using OnDidSendFeedback = std::function<void(std::optional<KVBError>)>;
    void setOnDidSendFeedback(OnDidSendFeedback handler) {
        m_onDidSendFeedback = std::move(handler);
    }
    bool showsGenericSuccessAlert() const { return m_showsGenericSuccessAlert; }
    void setShowsGenericSuccessAlert(bool shows) { m_showsGenericSuccessAlert = shows; }
    bool showsGenericErrorSheet() const { return m_showsGenericErrorSheet; }
    void setShowsGenericErrorSheet(bool shows) { m_showsGenericErrorSheet = shows; }

    // Shows the window, centred on its screen, every time.
    void showWindow();

    void mainViewControllerDidSendFeedbackWithError(KVBMainViewController* controller,
                                                    std::optional<KVBError> error) override;
    void performActionsIfNeededOnFeedbackSentWithError(const std::optional<KVBError>& error);

private:
    void setup(std::shared_ptr<KVBInterfaceSettings> settings,
               std::shared_ptr<KVBSystemProfileProvider> provider,
               std::shared_ptr<KVBFileSelectionManager> files);
    KVBAlertPresenter::Alert alertWithTitle(const QString& title, const QString& text) const;

    std::shared_ptr<KVBFeedbackSender> m_feedbackSender;
    std::shared_ptr<KVBSystemProfileProvider> m_systemProfileProvider;
    std::shared_ptr<KVBAlertPresenter> m_alerts;
    QPointer<KVBWindow> m_window;
    KVBMainViewController* m_mainViewController = nullptr;
    OnDidSendFeedback m_onDidSendFeedback;
    bool m_showsGenericSuccessAlert = true;
    bool m_showsGenericErrorSheet = true;
};

}  // namespace tarnwick
