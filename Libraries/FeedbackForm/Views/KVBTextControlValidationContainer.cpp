#include "KVBTextControlValidationContainer.h"

#include "KVBBundleHelper.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwick {

KVBTextControlValidationContainer::KVBTextControlValidationContainer(KVBTextControl* textControl,
                                                                     QWidget* parent)
    : QWidget(parent), m_textControl(textControl) {
    m_textControl->setEditingDelegate(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(m_textControl->container());
    m_errorLabel = kvbLabel(this);
    m_errorLabel->setFont(kvbSystemFont(11));
    QPalette colors = m_errorLabel->palette();
    colors.setColor(QPalette::WindowText, kvbErrorColor(this));
    m_errorLabel->setPalette(colors);
    m_errorLabel->hide();
    layout->addWidget(m_errorLabel);
    setFocusProxy(m_textControl->view());
}

void KVBTextControlValidationContainer::validate() {
    QString message;
    if (m_validationBlock) {
        m_isValid = m_validationBlock(m_textControl->trimmedStringValue(), &message);
    }
    if (m_isValid) {
        showDefaultState();
    } else {
        showInvalidStateWithString(message);
    }
}

void KVBTextControlValidationContainer::showInvalidStateWithString(const QString& message) {
    m_textControl->setBorderColor(kvbErrorColor(this));
    if (!message.isEmpty()) {
        m_errorLabel->setText(message);
        m_errorLabel->show();
    }
}

void KVBTextControlValidationContainer::showDefaultState() {
    m_textControl->setBorderColor(kvbTextFieldBorderColor(this));
    m_errorLabel->hide();
}

void KVBTextControlValidationContainer::textControlDidChangeValue(KVBTextControl*) {
    showDefaultState();
}

void KVBTextControlValidationContainer::textControlDidEndEditing(KVBTextControl*) {
    validate();
}

}  // namespace tarnwick
