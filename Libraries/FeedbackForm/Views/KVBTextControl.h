#pragma once

#include <QColor>
#include <QString>

class QWidget;

namespace tarnwick {

class KVBTextControl;

// Hears the editing of a text control; every method is optional.
class KVBTextControlEditingDelegate {
public:
    virtual ~KVBTextControlEditingDelegate() = default;
    virtual void textControlDidBeginEditing(KVBTextControl*) {}
    virtual void textControlDidChangeValue(KVBTextControl*) {}
    virtual void textControlDidEndEditing(KVBTextControl*) {}
};

// What the form asks of its text controls, single- or multi-line.
class KVBTextControl {
public:
    virtual ~KVBTextControl() = default;

    // The widget that takes the keyboard focus.
    virtual QWidget* view() = 0;
    // The widget that stands in a layout for the whole control.
    virtual QWidget* container() = 0;
    virtual qreal cornerRadius() const = 0;
    virtual void setCornerRadius(qreal radius) = 0;
    virtual QColor borderColor() const = 0;
    virtual void setBorderColor(const QColor& color) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual QString stringValue() const = 0;
    virtual void setStringValue(const QString& text) = 0;
    // The text without white space and line breaks at either end.
    QString trimmedStringValue() const { return stringValue().trimmed(); }
    virtual QString controlPlaceholderString() const = 0;
    virtual void setControlPlaceholderString(const QString& text) = 0;
    virtual KVBTextControlEditingDelegate* editingDelegate() const = 0;
    virtual void setEditingDelegate(KVBTextControlEditingDelegate* delegate) = 0;
};

}  // namespace tarnwick
