#include "WidgetKit/Controls/FilterTextField.h"

#include "Dispatch/DispatchQueue.h"
#include "QtSupport/Utf8Text.h"
#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/FocusRing.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace tarnwick {

FilterTextField::FilterTextField(bool automaticFocus, QWidget* parent)
    : QLineEdit(parent), m_automaticFocus(automaticFocus) {
    setPlaceholderText(qtext(InterfaceText::filterPlaceholder));
    setFrame(false);
    setTextMargins(20, 8, 20, 8);
    setFixedWidth(156);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setStyleSheet(QStringLiteral("background: transparent;"));
}

void FilterTextField::showEvent(QShowEvent* event) {
    QLineEdit::showEvent(event);
    if (m_automaticFocus && !m_didFocus) {
        m_didFocus = true;
        // After the show has finished, not during it.
        QPointer<FilterTextField> self(this);
        DispatchQueue::main()->async([self] {
            if (self) {
                self->setFocus(Qt::OtherFocusReason);
            }
        });
    }
}

void FilterTextField::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath background;
        background.addRoundedRect(QRectF(rect()), 16, 16);
        painter.fillPath(background, Appearance::color(NamedColor::detectionLevelBackground()));
        FocusRing::paintIfShown(painter, this, QRectF(rect()), 16);
    }
    QLineEdit::paintEvent(event);
}

}  // namespace tarnwick
