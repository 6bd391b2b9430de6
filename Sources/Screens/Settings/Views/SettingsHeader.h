#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

namespace tarnwick {

// The settings screen's title row, with the button that opens the phone-app promotion.
class SettingsHeader : public QWidget {
    Q_OBJECT

public:
    explicit SettingsHeader(std::function<void()> showPromotion = {}, QWidget* parent = nullptr);

    // Used for testing only
    QPushButton* promotionButton() const { return m_button; }

    // Marks the promotion as offered and shows it over the main window when the screen was given
    // one. Nothing is said when it was not: the user only misses the sheet.
    void presentPromotion();

private:
    const std::function<void()> m_showPromotion;
    QPushButton* m_button;
};

}  // namespace tarnwick
