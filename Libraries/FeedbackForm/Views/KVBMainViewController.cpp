#include "KVBMainViewController.h"

#include "Dispatch/DispatchQueue.h"
#include "FeedbackForm/KVBExtensions.h"
#include "FeedbackForm/KVBFeedbackSender.h"
#include "FeedbackForm/KVBSystemProfileProvider.h"
#include "KVBAttachmentsViewController.h"
#include "KVBBundleHelper.h"
#include "KVBInterfaceSettings.h"
#include "KVBLocalizedString.h"
#include "KVBMaskedImageView.h"
#include "KVBSystemProfileViewController.h"
#include "KVBTextControlValidationContainer.h"
#include "KVBTextField.h"
#include "KVBTextFieldWrapper.h"
#include "KVBTextView.h"
#include "KVBTextViewScroller.h"
#include "KVBTransparentSpinner.h"
#include "OSLog/OSLog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnwick {

// One report on its way: the parameters as the form read them.
struct KVBPendingReport {
    KVBFeedbackParameters parameters;
};

KVBMainViewController::KVBMainViewController(
    std::shared_ptr<KVBFeedbackSender> feedbackSender,
    std::shared_ptr<KVBFileSelectionManager> fileSelectionManager,
    std::shared_ptr<KVBSystemProfileProvider> systemProfileProvider,
    std::shared_ptr<KVBInterfaceSettings> settings, QWidget* parent)
    : QWidget(parent)
    , m_feedbackSender(std::move(feedbackSender))
    , m_fileSelectionManager(std::move(fileSelectionManager))
    , m_systemProfileProvider(std::move(systemProfileProvider)) {
    m_sendButtonDefaultTitle = kvbLocalizedString("Send Feedback", "Send feedback button caption.");
    m_sendButtonSendingTitle = kvbLocalizedString("Sending...", "Send feedback button caption.");
    setupMainContainer();
    setupIconContainer();
    setupFormContainer();
    setSettings(settings ? std::move(settings) : KVBInterfaceSettings::defaultSettings());
}

KVBMainViewController::~KVBMainViewController() {
    disconnect(m_settingsConnection);
    delete m_systemProfileViewController;  // lives in its own pop-up, not among the form's children
}

void KVBMainViewController::setupMainContainer() {
    m_mainLayout = new QHBoxLayout(this);
    m_mainLayout->setContentsMargins(20, 15, 20, 20);
    m_mainLayout->setSpacing(18);
}

void KVBMainViewController::setupIconContainer() {
    m_iconContainer = new QWidget(this);
    auto* layout = new QVBoxLayout(m_iconContainer);
    layout->setContentsMargins(3, 3, 0, 0);
    m_iconView = new QLabel(m_iconContainer);
    m_iconView->setAlignment(Qt::AlignCenter);
    m_iconView->setFixedSize(64, 64);
    layout->addWidget(m_iconView);
    layout->addStretch(1);
    m_mainLayout->addWidget(m_iconContainer, 0, Qt::AlignTop);
}

void KVBMainViewController::setupFormContainer() {
    m_formContainer = new QWidget(this);
    auto* column = new QVBoxLayout(m_formContainer);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_titleLabel = kvbMultilineLabel(m_formContainer);
    m_titleLabel->setFont(kvbSystemFont(14, true));
    m_subtitleLabel = kvbMultilineLabel(m_formContainer);
    m_subtitleLabel->setFont(kvbSystemFont(11));
    QColor subtitleColor = kvbDynamicInvertedColor(this);
    subtitleColor.setAlphaF(0.9f);
    QPalette subtitlePalette = m_subtitleLabel->palette();
    subtitlePalette.setColor(QPalette::WindowText, subtitleColor);
    m_subtitleLabel->setPalette(subtitlePalette);

    m_subjectButton = new QComboBox(m_formContainer);
    m_subjectButton->setFont(kvbSystemFont(13));

    auto* nameField = new KVBTextField;
    nameField->setFont(kvbSystemFont(13));
    m_nameFieldWrapper = new KVBTextFieldWrapper(nameField, m_formContainer);
    m_nameFieldWrapper->setCornerRadius(2);
    m_nameFieldWrapper->setFixedHeight(24);
    m_nameFieldWrapper->setMinimumWidth(295);

    auto* emailField = new KVBTextField;
    emailField->setFont(kvbSystemFont(13));
    m_emailFieldWrapper = new KVBTextFieldWrapper(emailField);
    m_emailFieldWrapper->setCornerRadius(2);
    m_emailFieldWrapper->setFixedHeight(24);
    m_emailFieldContainer =
        new KVBTextControlValidationContainer(m_emailFieldWrapper, m_formContainer);
    m_emailFieldContainer->setMinimumSize(295, 24);
    m_emailFieldContainer->setValidationBlock([](const QString& text, QString* message) {
        if (text.isEmpty()) {
            return false;
        }
        if (!kvbIsValidEmail(text.toStdString())) {
            *message = kvbLocalizedString("Incorrect email", "Invalid email error text.");
            return false;
        }
        return true;
    });

    auto* detailsView = new KVBTextView;
    detailsView->setFont(kvbSystemFont(13));
    m_detailsScroller = new KVBTextViewScroller(detailsView);
    m_detailsScroller->setCornerRadius(2);
    m_detailsFieldContainer =
        new KVBTextControlValidationContainer(m_detailsScroller, m_formContainer);
    m_detailsFieldContainer->setMinimumSize(295, 110);
    m_detailsFieldContainer->setValidationBlock(
        [](const QString& text, QString*) { return !text.isEmpty(); });

    m_attachmentsViewController =
        new KVBAttachmentsViewController(m_fileSelectionManager, m_formContainer);
    m_attachmentsViewController->setMaxAttachmentsCount(
        m_feedbackSender ? m_feedbackSender->maxAttachmentsCount() : 0);
    m_attachmentsViewController->setMaxAttachmentFileSize(
        m_feedbackSender ? m_feedbackSender->maxAttachmentFileSize() : 0);

    auto* profileRow = new QHBoxLayout;
    profileRow->setSpacing(2);
    m_systemProfileCheckbox = new QCheckBox(
        kvbLocalizedString("Send anonymous system profile", "System profile checkbox title."),
        m_formContainer);
    m_systemProfileCheckbox->setChecked(false);
    m_systemProfileViewController = new KVBSystemProfileViewController(m_systemProfileProvider);
    m_systemProfileViewController->hide();
    m_systemInfoClickableView = new KVBClickableView(m_formContainer);
    m_systemInfoClickableView->setFixedSize(16, 16);
    m_systemInfoClickableView->setDelegate(this);
    auto* infoImage = new KVBMaskedImageView(m_systemInfoClickableView);
    infoImage->setImageMask(KVBBundleHelper::imageNamed(QStringLiteral("infoIcon"), {32, 32}));
    infoImage->setMaskColor(kvbDynamicInverted25AlphaColor(this));
    infoImage->setGeometry(0, 0, 16, 16);
    profileRow->addWidget(m_systemProfileCheckbox);
    profileRow->addWidget(m_systemInfoClickableView, 0, Qt::AlignVCenter);
    profileRow->addStretch(1);

    auto* sendRow = new QHBoxLayout;
    sendRow->setSpacing(10);
    m_progressSpinner = new KVBTransparentSpinner(m_formContainer);
    m_progressSpinner->setFixedSize(16, 16);
    m_progressSpinner->startAnimation();
    m_progressSpinner->hide();
    m_sendButton = new QPushButton(m_sendButtonDefaultTitle, m_formContainer);
    m_sendButton->setAutoDefault(false);
    connect(m_sendButton, &QPushButton::clicked, this, [this] { sendButtonClicked(); });
    sendRow->addStretch(1);
    sendRow->addWidget(m_progressSpinner, 0, Qt::AlignVCenter);
    sendRow->addWidget(m_sendButton);

    column->addWidget(m_titleLabel);
    column->addSpacing(6);
    column->addWidget(m_subtitleLabel);
    column->addSpacing(14);
    column->addWidget(m_subjectButton);
    column->addSpacing(10);
    column->addWidget(m_nameFieldWrapper);
    column->addSpacing(10);
    column->addWidget(m_emailFieldContainer);
    column->addSpacing(10);
    column->addWidget(m_detailsFieldContainer, 1);
    column->addSpacing(6);
    column->addWidget(m_attachmentsViewController);
    column->addSpacing(15);
    column->addLayout(profileRow);
    column->addSpacing(15);
    column->addLayout(sendRow);

    m_mainLayout->addWidget(m_formContainer, 1);
    setupKeyViewLoop();
}

void KVBMainViewController::setupKeyViewLoop() {
    QWidget::setTabOrder(m_subjectButton, m_nameFieldWrapper->view());
    QWidget::setTabOrder(m_nameFieldWrapper->view(), m_emailFieldWrapper->view());
    QWidget::setTabOrder(m_emailFieldWrapper->view(), m_detailsScroller->view());
    QWidget::setTabOrder(m_detailsScroller->view(), m_systemProfileCheckbox);
    QWidget::setTabOrder(m_systemProfileCheckbox, m_sendButton);
}

void KVBMainViewController::setSettings(std::shared_ptr<KVBInterfaceSettings> settings) {
    disconnect(m_settingsConnection);
    m_settings = std::move(settings);
    updateUIWithSettings();
    if (m_settings) {
        m_settingsConnection = connect(m_settings.get(), &KVBInterfaceSettings::changed, this,
                                       [this] { updateUIWithSettings(); });
    }
}

void KVBMainViewController::updateUIWithSettings() {
    const KVBInterfaceSettings empty;
    const KVBInterfaceSettings& settings = m_settings ? *m_settings : empty;
    updateProductIconWithImage(settings.icon(), settings.iconSize());
    m_titleLabel->setText(settings.title());
    m_subtitleLabel->setText(settings.subtitle());
    m_subjectButton->clear();
    m_subjectButton->addItems(settings.subjectOptions());
    m_nameFieldWrapper->setControlPlaceholderString(settings.namePlaceholder());
    m_nameFieldWrapper->setStringValue(settings.defaultName());
    m_emailFieldWrapper->setControlPlaceholderString(settings.emailPlaceholder());
    m_emailFieldWrapper->setStringValue(settings.defaultEmail());
    m_detailsScroller->setControlPlaceholderString(settings.detailsPlaceholder());
}

void KVBMainViewController::updateProductIconWithImage(const QImage& image, QSize size) {
    if (image.isNull()) {
        m_iconContainer->hide();
        return;
    }
    m_iconView->setFixedSize(size);
    m_iconView->setPixmap(QPixmap::fromImage(
        image.scaled(size * devicePixelRatio(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    m_iconContainer->show();
}

void KVBMainViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    focusFirstEmptyField();
}

void KVBMainViewController::focusFirstEmptyField() {
    if (m_nameFieldWrapper->trimmedStringValue().isEmpty()) {
        m_nameFieldWrapper->view()->setFocus();
    } else if (m_emailFieldWrapper->trimmedStringValue().isEmpty()) {
        m_emailFieldWrapper->view()->setFocus();
    } else {
        m_detailsScroller->view()->setFocus();
    }
}

QString KVBMainViewController::nameFieldValue() const {
    return m_nameFieldWrapper->stringValue();
}

QString KVBMainViewController::emailFieldValue() const {
    return m_emailFieldWrapper->stringValue();
}

QString KVBMainViewController::subjectFieldValue() const {
    return m_subjectButton->currentText();
}

QString KVBMainViewController::detailsFieldValue() const {
    return m_detailsScroller->stringValue();
}

std::vector<std::filesystem::path> KVBMainViewController::attachments() const {
    return m_attachmentsViewController->attachments();
}

void KVBMainViewController::clickableViewDidReceiveClick(KVBClickableView* view) {
    if (view == m_systemInfoClickableView) {
        m_systemProfileViewController->showPopoverRelativeToRect(m_systemInfoClickableView->rect(),
                                                                 m_systemInfoClickableView);
    }
}

bool KVBMainViewController::checkCanSendForm() {
    m_emailFieldContainer->validate();
    m_detailsFieldContainer->validate();
    if (m_isSendingForm) {
        return false;
    }
    return m_emailFieldContainer->isValid() && m_detailsFieldContainer->isValid();
}

void KVBMainViewController::sendButtonClicked() {
    if (QWidget* focused = window()->focusWidget()) {
        focused->clearFocus();  // ends editing, which checks that field
    }
    if (!checkCanSendForm()) {
        return;
    }
    setIsSendingForm(true);

    auto report = std::make_shared<KVBPendingReport>();
    report->parameters[KVBParameterKey::name] =
        m_nameFieldWrapper->trimmedStringValue().toStdString();
    report->parameters[KVBParameterKey::email] =
        m_emailFieldWrapper->trimmedStringValue().toStdString();
    report->parameters[KVBParameterKey::details] =
        m_detailsScroller->trimmedStringValue().toStdString();
    report->parameters[KVBParameterKey::subject] = subjectFieldValue().toStdString();
    report->parameters[KVBParameterKey::attachments] = attachments();

    if (!m_systemProfileCheckbox->isChecked()) {
        send(report);
        return;
    }
    QPointer<KVBMainViewController> self(this);
    m_systemProfileProvider->writeSystemProfileToFile(
        [self, report](std::optional<std::filesystem::path> file) {
            if (file) {
                report->parameters[KVBParameterKey::systemProfile] = *file;
            }
            // Back to the main thread, where the form can tell whether it still exists.
            DispatchQueue::main()->async([self, report] {
                if (self) {
                    self->send(report);
                }
            });
        });
}

void KVBMainViewController::send(std::shared_ptr<KVBPendingReport> report) {
    QPointer<KVBMainViewController> self(this);
    m_feedbackSender->sendFeedbackWithParameters(
        report->parameters, [self](std::optional<KVBError> error) {
            DispatchQueue::main()->async([self, error] {
                if (!self) {
                    return;
                }
                if (self->m_delegate) {
                    self->m_delegate->mainViewControllerDidSendFeedbackWithError(self, error);
                }
                if (self) {
                    self->setIsSendingForm(false);
                }
            });
        });
}

void KVBMainViewController::setIsSendingForm(bool sending) {
    if (!isMainThread()) {
        osLog("Error: isSendingForm should be updated on main thread only.", OSLogType::error);
        return;
    }
    m_isSendingForm = sending;
    const bool enabled = !sending;
    m_subjectButton->setEnabled(enabled);
    m_nameFieldWrapper->setEnabled(enabled);
    m_emailFieldWrapper->setEnabled(enabled);
    m_detailsScroller->setEnabled(enabled);
    m_attachmentsViewController->setEnabled(enabled);
    m_systemProfileCheckbox->setEnabled(enabled);
    m_systemInfoClickableView->setEnabled(enabled);
    m_sendButton->setEnabled(enabled);
    m_progressSpinner->setVisible(sending);
    m_sendButton->setText(sending ? m_sendButtonSendingTitle : m_sendButtonDefaultTitle);
}

}  // namespace tarnwick
