#pragma once

#include "KVBTextControl.h"

#include <QPlainTextEdit>

namespace tarnwick {

// A multi-line plain-text control with a placeholder. Tab and Shift-Tab move the focus instead of
// typing; Tab with any other modifier does nothing.
class KVBTextView : public QPlainTextEdit, public KVBTextControl {
    Q_OBJECT

public:
    explicit KVBTextView(QWidget* parent = nullptr);

    QWidget* view() override { return this; }
    QWidget* container() override { return this; }
    qreal cornerRadius() const override { return m_cornerRadius; }
    void setCornerRadius(qreal radius) override;
    QColor borderColor() const override { return m_borderColor; }
    void setBorderColor(const QColor& color) override;
    bool isEnabled() const override { return m_isEnabled; }
    void setEnabled(bool enabled) override;
    QString stringValue() const override { return toPlainText(); }
    void setStringValue(const QString& text) override { setPlainText(text); }
    QString controlPlaceholderString() const override { return placeholderText(); }
    void setControlPlaceholderString(const QString& text) override { setPlaceholderText(text); }
    KVBTextControlEditingDelegate* editingDelegate() const override { return m_editingDelegate; }
    void setEditingDelegate(KVBTextControlEditingDelegate* delegate) override {
        m_editingDelegate = delegate;
    }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    KVBTextControlEditingDelegate* m_editingDelegate = nullptr;
    QColor m_borderColor;
    qreal m_cornerRadius = 0;
    bool m_isEnabled = true;
};

}  // namespace tarnwick
