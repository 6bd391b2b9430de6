#include "Screens/Settings/Views/SettingsHeader.h"

#include "Screens/Settings/Views/SettingsText.h"
#include "Tools/SettingsKey.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace tarnwick {

SettingsHeader::SettingsHeader(std::function<void()> showPromotion, QWidget* parent)
    : QWidget(parent), m_showPromotion(std::move(showPromotion)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 40, 0, 0);
    auto* title = makeSettingsLabel(QStringLiteral("Settings"), typefaceFace::bold, 25, this);
    title->setObjectName(QStringLiteral("settingsTitle"));
    title->setWordWrap(false);
    title->setMinimumWidth(600);
    title->setContentsMargins(30, 0, 0, 0);
    row->addWidget(title, 1, Qt::AlignTop | Qt::AlignLeft);

    m_button = new QPushButton(QStringLiteral("Get iOS App"), this);
    m_button->setFont(Typeface::font(typefaceFace::regular, 12));
    m_button->setMinimumSize(100, 32);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setFlat(true);
    const QColor fill = Appearance::color(NamedColor::buttonColor());
    m_button->setStyleSheet(QStringLiteral("QPushButton { color: white; background: %1; "
                                           "border: none; border-radius: 5px; padding: 8px 8px; }")
                                .arg(fill.name(QColor::HexArgb)));
    connect(m_button, &QPushButton::clicked, this, [this] { presentPromotion(); });
    row->addWidget(m_button, 0, Qt::AlignTop);
    row->addSpacing(44);
    setMaximumHeight(56 + 40);
}

void SettingsHeader::presentPromotion() {
    if (!m_showPromotion) {
        return;
    }
    Settings::set(Value(true), SettingsKey::didPresentIOSPromotion);
    m_showPromotion();
}

}  // namespace tarnwick
