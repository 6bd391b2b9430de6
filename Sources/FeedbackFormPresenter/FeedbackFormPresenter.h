#pragma once

#include "Tools/Log/ContextLog.h"

#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

class KVBFeedbackController;
class KVBFeedbackSender;

// The application's side of the feedback form: on the first presentation it builds the help-desk
// sender with the account of this build and the feedback window around it, gives the window the
// application's icon and log files, and logs the outcome of every send under "Feedback Form".
// The same window serves every later presentation.
//
// The shell owns one presenter (made on the first "Provide Feedback..." command) and calls
// `presentFeedbackForm()` for that command.
class FeedbackFormPresenter {
public:
    struct HelpDeskAccount {
        std::string subdomain;
        std::string token;
        std::string productName;
        // Replaces "https://<subdomain>.<service domain>" when not empty (a local help desk).
        std::string serviceURL;

        // The account this build was configured with.
        static HelpDeskAccount fromBuildSettings();
    };

    using ControllerFactory =
        std::function<std::unique_ptr<KVBFeedbackController>(std::shared_ptr<KVBFeedbackSender>)>;

    explicit FeedbackFormPresenter(ContextLog log = ContextLog(LogContextType::feedbackForm));
    // Used for testing only
    FeedbackFormPresenter(ContextLog log, HelpDeskAccount account, ControllerFactory factory);
    ~FeedbackFormPresenter();
    FeedbackFormPresenter(const FeedbackFormPresenter&) = delete;
    FeedbackFormPresenter& operator=(const FeedbackFormPresenter&) = delete;

    void presentFeedbackForm();

    const ContextLog& log() const { return m_log; }
    // None before the first presentation.
    KVBFeedbackController* feedbackFormController() const { return m_feedbackFormController.get(); }

private:
    std::unique_ptr<KVBFeedbackController> makeFeedbackFormController();

    ContextLog m_log;
    HelpDeskAccount m_account;
    ControllerFactory m_factory;
    std::unique_ptr<KVBFeedbackController> m_feedbackFormController;
    // Lets the send handler tell whether the presenter still exists.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

}  // namespace tarnwick
