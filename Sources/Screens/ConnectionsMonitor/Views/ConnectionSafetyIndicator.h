#pragma once

#include <QWidget>

#include <optional>
#include <string_view>

namespace tarnwick {

// The badge kinds; each raw value is also the badge's title and part of its colour names.
enum class ConnectionSafetyIndicatorType { compromised, blocked, safe };

std::string_view rawValue(ConnectionSafetyIndicatorType type);
// Exactly "Compromised", "Blocked" and "Safe" name a kind.
std::optional<ConnectionSafetyIndicatorType> connectionSafetyIndicatorType(std::string_view raw);

// The small coloured badge of the connection rows. Clicks pass through it to the row.
class ConnectionSafetyIndicator : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionSafetyIndicator(ConnectionSafetyIndicatorType type,
                                       QWidget* parent = nullptr);

    ConnectionSafetyIndicatorType type() const { return m_type; }
    void setType(ConnectionSafetyIndicatorType type);
    QString title() const;
    QColor backgroundColor() const;
    QColor textColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ConnectionSafetyIndicatorType m_type;
};

}  // namespace tarnwick
