#pragma once

#include "KVBTextControl.h"

#include <QLineEdit>

namespace tarnwick {

// A frameless single-line field on a clear background; its wrapper draws the frame around it.
class KVBTextField : public QLineEdit, public KVBTextControl {
    Q_OBJECT

public:
    explicit KVBTextField(QWidget* parent = nullptr);

    QWidget* view() override { return this; }
    QWidget* container() override { return this; }
    qreal cornerRadius() const override { return m_cornerRadius; }
    void setCornerRadius(qreal radius) override { m_cornerRadius = radius; }
    QColor borderColor() const override { return m_borderColor; }
    void setBorderColor(const QColor& color) override { m_borderColor = color; }
    bool isEnabled() const override { return QLineEdit::isEnabled(); }
    void setEnabled(bool enabled) override { QLineEdit::setEnabled(enabled); }
    QString stringValue() const override { return text(); }
    void setStringValue(const QString& value) override { setText(value); }
    QString controlPlaceholderString() const override { return placeholderText(); }
    void setControlPlaceholderString(const QString& value) override { setPlaceholderText(value); }
    KVBTextControlEditingDelegate* editingDelegate() const override { return m_editingDelegate; }
    void setEditingDelegate(KVBTextControlEditingDelegate* delegate) override {
        m_editingDelegate = delegate;
    }

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    KVBTextControlEditingDelegate* m_editingDelegate = nullptr;
    QColor m_borderColor;
    qreal m_cornerRadius = 0;
};

}  // namespace tarnwick
