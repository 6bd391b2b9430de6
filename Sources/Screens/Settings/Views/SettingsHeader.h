#pragma once

#include <QWidget>

class QPushButton;

namespace tarnwick {

// The settings screen's title row, with the button that opens the phone-app promotion.
class SettingsHeader : public QWidget {
    Q_OBJECT

public:
    explicit SettingsHeader(QWidget* parent = nullptr);

    // Used for testing only
    QPushButton* promotionButton() const { return m_button; }

    // Marks the promotion as offered and shows it over the main window when the window can take
    // a sheet. Nothing is said when it cannot: the user only misses the sheet.
    void presentPromotion();

private:
    QPushButton* m_button;
};

}  // namespace tarnwick
