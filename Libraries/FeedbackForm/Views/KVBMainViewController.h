#pragma once

#include "FeedbackForm/KVBError.h"
#include "KVBClickableView.h"

#include <QPointer>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace tarnwick {

class KVBAttachmentsViewController;
class KVBFeedbackSender;
class KVBFileSelectionManager;
class KVBInterfaceSettings;
class KVBMainViewController;
class KVBSystemProfileProvider;
class KVBSystemProfileViewController;
class KVBTextControlValidationContainer;
class KVBTextFieldWrapper;
class KVBTextViewScroller;
class KVBTransparentSpinner;

class KVBMainViewControllerDelegate {
public:
    virtual ~KVBMainViewControllerDelegate() = default;
    // On the main thread, once per send; no error when the report was filed.
    virtual void mainViewControllerDidSendFeedbackWithError(KVBMainViewController* controller,
                                                            std::optional<KVBError> error) = 0;
};

// The feedback form: icon, title and subtitle, subject, name, e-mail, details, attachments, the
// system profile option with its info button, and the send button with its spinner. Sending:
//   1. ends editing and checks the e-mail and the details (nothing happens when one fails);
//   2. turns busy: every control disabled, "Sending..." and the spinner;
//   3. has the profile written when the option is on (a profile that cannot be written is left
//      out, the report still goes);
//   4. hands the trimmed texts, the subject and the attachments to the sender;
//   5. back on the main thread, tells the delegate and turns idle again, keeping what was typed.
class KVBMainViewController : public QWidget, public KVBClickableViewDelegate {
    Q_OBJECT

public:
    KVBMainViewController(std::shared_ptr<KVBFeedbackSender> feedbackSender,
                          std::shared_ptr<KVBFileSelectionManager> fileSelectionManager,
                          std::shared_ptr<KVBSystemProfileProvider> systemProfileProvider,
                          std::shared_ptr<KVBInterfaceSettings> settings,
                          QWidget* parent = nullptr);
    ~KVBMainViewController() override;

    const std::shared_ptr<KVBInterfaceSettings>& settings() const { return m_settings; }
    void setSettings(std::shared_ptr<KVBInterfaceSettings> settings);
    void setDelegate(KVBMainViewControllerDelegate* delegate) { m_delegate = delegate; }
    const std::shared_ptr<KVBSystemProfileProvider>& systemProfileProvider() const {
        return m_systemProfileProvider;
    }

    QString nameFieldValue() const;
    QString emailFieldValue() const;
    QString subjectFieldValue() const;
    QString detailsFieldValue() const;
    std::vector<std::filesystem::path> attachments() const;
    bool isSendingForm() const { return m_isSendingForm; }

    void sendButtonClicked();
    bool checkCanSendForm();
    void setIsSendingForm(bool sending);
    void updateUIWithSettings();
    void focusFirstEmptyField();

    void clickableViewDidReceiveClick(KVBClickableView* view) override;

    // The parts, for the window and for tests.
    QWidget* iconContainer() const { return m_iconContainer; }
    QWidget* formContainer() const { return m_formContainer; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QLabel* subtitleLabel() const { return m_subtitleLabel; }
    QComboBox* subjectButton() const { return m_subjectButton; }
    KVBTextFieldWrapper* nameFieldWrapper() const { return m_nameFieldWrapper; }
    KVBTextControlValidationContainer* emailFieldContainer() const { return m_emailFieldContainer; }
    KVBTextControlValidationContainer* detailsFieldContainer() const {
        return m_detailsFieldContainer;
    }
    KVBAttachmentsViewController* attachmentsViewController() const {
        return m_attachmentsViewController;
    }
    QCheckBox* systemProfileCheckbox() const { return m_systemProfileCheckbox; }
    KVBClickableView* systemInfoClickableView() const { return m_systemInfoClickableView; }
    KVBSystemProfileViewController* systemProfileViewController() const {
        return m_systemProfileViewController;
    }
    QPushButton* sendButton() const { return m_sendButton; }
    KVBTransparentSpinner* progressSpinner() const { return m_progressSpinner; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setupMainContainer();
    void setupIconContainer();
    void setupFormContainer();
    void setupKeyViewLoop();
    void updateProductIconWithImage(const QImage& image, QSize size);
    void send(std::shared_ptr<struct KVBPendingReport> report);

    std::shared_ptr<KVBFeedbackSender> m_feedbackSender;
    std::shared_ptr<KVBFileSelectionManager> m_fileSelectionManager;
    std::shared_ptr<KVBSystemProfileProvider> m_systemProfileProvider;
    std::shared_ptr<KVBInterfaceSettings> m_settings;
    QMetaObject::Connection m_settingsConnection;
    KVBMainViewControllerDelegate* m_delegate = nullptr;

    QHBoxLayout* m_mainLayout = nullptr;
    QWidget* m_iconContainer = nullptr;
    QLabel* m_iconView = nullptr;
    QWidget* m_formContainer = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_subtitleLabel = nullptr;
    QComboBox* m_subjectButton = nullptr;
    KVBTextFieldWrapper* m_nameFieldWrapper = nullptr;
    KVBTextFieldWrapper* m_emailFieldWrapper = nullptr;
    KVBTextControlValidationContainer* m_emailFieldContainer = nullptr;
    KVBTextViewScroller* m_detailsScroller = nullptr;
    KVBTextControlValidationContainer* m_detailsFieldContainer = nullptr;
    KVBAttachmentsViewController* m_attachmentsViewController = nullptr;
    QCheckBox* m_systemProfileCheckbox = nullptr;
    KVBClickableView* m_systemInfoClickableView = nullptr;
    KVBSystemProfileViewController* m_systemProfileViewController = nullptr;
    QPushButton* m_sendButton = nullptr;
    KVBTransparentSpinner* m_progressSpinner = nullptr;
    QString m_sendButtonDefaultTitle;
    QString m_sendButtonSendingTitle;
    bool m_isSendingForm = false;
};

}  // namespace tarnwick
