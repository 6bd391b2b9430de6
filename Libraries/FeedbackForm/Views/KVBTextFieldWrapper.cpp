#include "KVBTextFieldWrapper.h"

#include "KVBBundleHelper.h"
#include "KVBTextField.h"

#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

KVBTextFieldWrapper::KVBTextFieldWrapper(KVBTextField* textField, QWidget* parent)
    : QWidget(parent), m_textField(textField) {
    m_textField->setParent(this);
    m_borderColor = kvbTextFieldBorderColor(this);
    setFocusProxy(m_textField);
}

QWidget* KVBTextFieldWrapper::view() {
    return m_textField;
}

void KVBTextFieldWrapper::setCornerRadius(qreal radius) {
    m_cornerRadius = radius;
    update();
}

void KVBTextFieldWrapper::setBorderColor(const QColor& color) {
    m_borderColor = color;
    update();
}

bool KVBTextFieldWrapper::isEnabled() const {
    return m_textField->isEnabled();
}

void KVBTextFieldWrapper::setEnabled(bool enabled) {
    m_textField->setEnabled(enabled);
}

QString KVBTextFieldWrapper::stringValue() const {
    return m_textField->stringValue();
}

void KVBTextFieldWrapper::setStringValue(const QString& text) {
    m_textField->setStringValue(text);
}

QString KVBTextFieldWrapper::controlPlaceholderString() const {
    return m_textField->controlPlaceholderString();
}

void KVBTextFieldWrapper::setControlPlaceholderString(const QString& text) {
    m_textField->setControlPlaceholderString(text);
}

KVBTextControlEditingDelegate* KVBTextFieldWrapper::editingDelegate() const {
    return m_textField->editingDelegate();
}

void KVBTextFieldWrapper::setEditingDelegate(KVBTextControlEditingDelegate* delegate) {
    m_textField->setEditingDelegate(delegate);
}

qreal KVBTextFieldWrapper::innerRadius(qreal cornerRadius) {
    return cornerRadius > 0 ? cornerRadius - 1 : 1;
}

void KVBTextFieldWrapper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Left 3 inside, right on the edge, centred 1 point above the middle.
    const int height = m_textField->sizeHint().height();
    m_textField->setGeometry(3, (this->height() - height) / 2 - 1, width() - 3, height);
}

void KVBTextFieldWrapper::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QPainterPath outer;
    outer.addRoundedRect(bounds, m_cornerRadius, m_cornerRadius);
    painter.fillPath(outer, kvbTextFieldBackgroundColor(this));
    if (m_borderColor.isValid()) {
        QPainterPath inner;
        const qreal radius = innerRadius(m_cornerRadius);
        inner.addRoundedRect(bounds.adjusted(1, 1, -1, -1), radius, radius);
        painter.fillPath(outer.subtracted(inner), m_borderColor);
    }
}

}  // namespace tarnwick
