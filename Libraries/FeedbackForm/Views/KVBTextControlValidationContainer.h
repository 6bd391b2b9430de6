#pragma once

#include "KVBTextControl.h"

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;

namespace tarnwick {

// Checks a text control with a rule and shows the outcome: an error-coloured border, and under
// the control an error line when the rule gives a message. Typing returns the control to its
// normal look; the end of editing checks again.
class KVBTextControlValidationContainer : public QWidget, public KVBTextControlEditingDelegate {
    Q_OBJECT

public:
    // Given the trimmed text; answers validity and may set a message.
    using ValidationBlock = std::function<bool(const QString& text, QString* message)>;

    explicit KVBTextControlValidationContainer(KVBTextControl* textControl,
                                               QWidget* parent = nullptr);

    KVBTextControl* textControl() const { return m_textControl; }
    void setValidationBlock(ValidationBlock block) { m_validationBlock = std::move(block); }
    bool isValid() const { return m_isValid; }
    QLabel* errorLabel() const { return m_errorLabel; }

    void validate();
    void showDefaultState();
    void showInvalidStateWithString(const QString& message);

    void textControlDidChangeValue(KVBTextControl* control) override;
    void textControlDidEndEditing(KVBTextControl* control) override;

private:
    KVBTextControl* m_textControl;
    ValidationBlock m_validationBlock;
    bool m_isValid = true;
    QLabel* m_errorLabel;
};

}  // namespace tarnwick
