#include "KVBTextView.h"

#include "KVBBundleHelper.h"

#include <QKeyEvent>
#include <QPalette>

namespace tarnwick {

KVBTextView::KVBTextView(QWidget* parent) : QPlainTextEdit(parent) {
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(true);
    document()->setDocumentMargin(5);
    setEnabled(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_editingDelegate) {
            m_editingDelegate->textControlDidChangeValue(this);
        }
    });
}

void KVBTextView::setCornerRadius(qreal radius) {
    m_cornerRadius = radius;
    update();
}

void KVBTextView::setBorderColor(const QColor& color) {
    m_borderColor = color;
    update();
}

void KVBTextView::setEnabled(bool enabled) {
    m_isEnabled = enabled;
    setReadOnly(!enabled);
    QPalette colors = palette();
    QColor text = kvbDynamicInvertedColor(this);
    if (!enabled) {
        text.setAlphaF(0.5f);
    }
    colors.setColor(QPalette::Text, text);
    colors.setColor(QPalette::Base, kvbTextFieldBackgroundColor(this));
    setPalette(colors);
    setFocusPolicy(enabled ? Qt::StrongFocus : Qt::NoFocus);
    viewport()->update();
}

void KVBTextView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (modifiers == Qt::NoModifier && event->key() == Qt::Key_Tab) {
            focusNextPrevChild(true);
        } else if (modifiers == Qt::ShiftModifier) {
            focusNextPrevChild(false);
        }
        event->accept();  // never typed as a character
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void KVBTextView::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    if (m_editingDelegate) {
        m_editingDelegate->textControlDidBeginEditing(this);
    }
}

void KVBTextView::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    if (m_editingDelegate) {
        m_editingDelegate->textControlDidEndEditing(this);
    }
}

}  // namespace tarnwick
