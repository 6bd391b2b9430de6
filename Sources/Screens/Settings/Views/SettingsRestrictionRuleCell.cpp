#include "Screens/Settings/Views/SettingsRestrictionRuleCell.h"

#include "Screens/Settings/Views/HoverProgress.h"
#include "Screens/Settings/Views/ScaledTextLabel.h"
#include "WidgetKit/Controls/CustomCheckMarkView.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tarnwick {

namespace {

bool isRequired(const RestrictionPreference& rule) {
    const auto& required = RestrictionPreference::requiredReasons();
    return std::find(required.begin(), required.end(), rule.reason()) != required.end();
}

}  // namespace

SettingsRestrictionRuleCell::SettingsRestrictionRuleCell(const RestrictionPreference& rule,
                                                         bool isChecked, QWidget* parent)
    : QWidget(parent), m_rule(rule), m_isDisabled(isRequired(rule)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 6, 0, 6);
    row->setSpacing(0);
    m_checkMark = new CustomCheckMarkView(m_isDisabled || isChecked, m_isDisabled, this);
    m_checkMark->onToggle = [this](bool) { toggle(); };
    row->addWidget(m_checkMark);
    row->addSpacing(8);
    m_label = new ScaledTextLabel(QString::fromStdString(rule.reason().descriptionText()), this);
    m_label->setFont(Typeface::font(typefaceFace::light, 13));
    m_label->setWordWrap(true);
    row->addWidget(m_label, 1);
    m_hover =
        new HoverProgress(this, [this](double value) { m_label->setScale(1.0 + 0.01 * value); });
    if (!m_isDisabled) {
        setFocusPolicy(Qt::TabFocus);
    }
}

QString SettingsRestrictionRuleCell::label() const {
    return m_label->text();
}

bool SettingsRestrictionRuleCell::isChecked() const {
    return m_checkMark->isChecked();
}

void SettingsRestrictionRuleCell::setChecked(bool checked) {
    m_checkMark->setChecked(m_isDisabled || checked);
}

double SettingsRestrictionRuleCell::labelScale() const {
    return m_label->scale();
}

void SettingsRestrictionRuleCell::toggle() {
    if (m_isDisabled) {
        return;
    }
    const bool checked = !isChecked();
    m_checkMark->setChecked(checked);
    if (onToggle) {
        onToggle(checked);
    }
}

void SettingsRestrictionRuleCell::setHovered(bool hovered) {
    if (m_isDisabled) {
        return;
    }
    m_isHovered = hovered;
    m_hover->setHovered(hovered);
}

void SettingsRestrictionRuleCell::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovered(true);
}

void SettingsRestrictionRuleCell::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovered(false);
}

void SettingsRestrictionRuleCell::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        toggle();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsRestrictionRuleCell::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void SettingsRestrictionRuleCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        toggle();
    }
}

void SettingsRestrictionRuleCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Appearance::color(NamedColor::windowBackgroundColor()));
    if (hasFocus()) {
        QColor ring = Appearance::color(NamedColor::buttonColor());
        ring.setAlphaF(0.5f);
        painter.setPen(ring);
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

}  // namespace tarnwick
