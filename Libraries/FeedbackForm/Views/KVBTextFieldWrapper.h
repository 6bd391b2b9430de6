#pragma once

#include "KVBTextControl.h"

#include <QWidget>

namespace tarnwick {

class KVBTextField;

// Draws the rounded frame of a single-line field: the background fills the bounds and a 1-point
// border runs inside them, so the focus ring and the frame surround the whole wrapper.
class KVBTextFieldWrapper : public QWidget, public KVBTextControl {
    Q_OBJECT

public:
    explicit KVBTextFieldWrapper(KVBTextField* textField, QWidget* parent = nullptr);

    KVBTextField* textField() const { return m_textField; }

    QWidget* view() override;
    QWidget* container() override { return this; }
    qreal cornerRadius() const override { return m_cornerRadius; }
    void setCornerRadius(qreal radius) override;
    QColor borderColor() const override { return m_borderColor; }
    void setBorderColor(const QColor& color) override;
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;
    QString stringValue() const override;
    void setStringValue(const QString& text) override;
    QString controlPlaceholderString() const override;
    void setControlPlaceholderString(const QString& text) override;
    KVBTextControlEditingDelegate* editingDelegate() const override;
    void setEditingDelegate(KVBTextControlEditingDelegate* delegate) override;

    // The radius of the border's inner edge: one less than the corner radius, and 1 for square
    // corners.
    static qreal innerRadius(qreal cornerRadius);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    KVBTextField* m_textField;
    QColor m_borderColor;
    qreal m_cornerRadius = 0;
};

}  // namespace tarnwick
