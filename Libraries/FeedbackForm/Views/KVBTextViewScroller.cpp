#include "KVBTextViewScroller.h"

#include "KVBBundleHelper.h"
#include "KVBTextView.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tarnwick {

KVBTextViewScroller::KVBTextViewScroller(KVBTextView* textView, QWidget* parent)
    : QWidget(parent), m_textView(textView) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_textView);
    m_textView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_borderColor = kvbTextFieldBorderColor(this);
    setFocusProxy(m_textView);
}

QWidget* KVBTextViewScroller::view() {
    return m_textView;
}

void KVBTextViewScroller::setCornerRadius(qreal radius) {
    m_cornerRadius = radius;
    update();
}

void KVBTextViewScroller::setBorderColor(const QColor& color) {
    m_borderColor = color;
    update();
}

bool KVBTextViewScroller::isEnabled() const {
    return m_textView->isEnabled();
}

void KVBTextViewScroller::setEnabled(bool enabled) {
    m_textView->setEnabled(enabled);
}

QString KVBTextViewScroller::stringValue() const {
    return m_textView->stringValue();
}

void KVBTextViewScroller::setStringValue(const QString& text) {
    m_textView->setStringValue(text);
}

QString KVBTextViewScroller::controlPlaceholderString() const {
    return m_textView->controlPlaceholderString();
}

void KVBTextViewScroller::setControlPlaceholderString(const QString& text) {
    m_textView->setControlPlaceholderString(text);
}

KVBTextControlEditingDelegate* KVBTextViewScroller::editingDelegate() const {
    return m_textView->editingDelegate();
}

void KVBTextViewScroller::setEditingDelegate(KVBTextControlEditingDelegate* delegate) {
    m_textView->setEditingDelegate(delegate);
}

void KVBTextViewScroller::setFont(const QFont& font) {
    m_textView->setFont(font);
}

void KVBTextViewScroller::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outer;
    outer.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.fillPath(outer, kvbTextFieldBackgroundColor(this));
    if (m_borderColor.isValid()) {
        QPainterPath inner;
        const qreal radius = m_cornerRadius > 0 ? m_cornerRadius - 1 : 1;
        inner.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius, radius);
        painter.fillPath(outer.subtracted(inner), m_borderColor);
    }
}

}  // namespace tarnwick
