#pragma once

#include "KVBTextControl.h"

#include <QWidget>

namespace tarnwick {

class KVBTextView;

// Frames a text view: the view scrolls inside, and the scroller draws the rounded border
// around it.
class KVBTextViewScroller : public QWidget, public KVBTextControl {
    Q_OBJECT

public:
    explicit KVBTextViewScroller(KVBTextView* textView, QWidget* parent = nullptr);

    KVBTextView* textView() const { return m_textView; }

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

    void setFont(const QFont& font);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KVBTextView* m_textView;
    QColor m_borderColor;
    qreal m_cornerRadius = 0;
};

}  // namespace tarnwick
