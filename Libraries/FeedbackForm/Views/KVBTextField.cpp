#include "KVBTextField.h"

#include "KVBBundleHelper.h"

#include <QPalette>

namespace tarnwick {

KVBTextField::KVBTextField(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette colors = palette();
    colors.setColor(QPalette::Text, kvbDynamicInvertedColor(this));
    colors.setColor(QPalette::Base, Qt::transparent);
    setPalette(colors);
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (m_editingDelegate) {
            m_editingDelegate->textControlDidChangeValue(this);
        }
    });
}

void KVBTextField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (m_editingDelegate) {
        m_editingDelegate->textControlDidBeginEditing(this);
    }
}

void KVBTextField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (m_editingDelegate) {
        m_editingDelegate->textControlDidEndEditing(this);
    }
}

}  // namespace tarnwick
