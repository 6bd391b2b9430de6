#pragma once

#include "Screens/ConnectionsMonitor/Hit.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionSafetyIndicator.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QGraphicsOpacityEffect;

namespace tarnwick {

// The row of one server an application reached: a status dot, the host name and the address
// (each copied by a long press), a badge for a target country, the request count and the country
// with its flag. The row holds its hit, so a list that shrinks meanwhile never leaves it pointing
// past the end; it redraws whenever the hit reports a change.
class ConnectionMonitorHitCellView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kLongPressMilliseconds = 500;
    static constexpr int kCopyHighlightMilliseconds = 500;
    static constexpr int kHoverDelayMilliseconds = 330;

    explicit ConnectionMonitorHitCellView(std::shared_ptr<Hit> hit, QWidget* parent = nullptr);

    const std::shared_ptr<Hit>& hit() const { return m_hit; }

    // What the row shows, for tests and for the owner.
    QString statusColorName() const;
    std::optional<ConnectionSafetyIndicatorType> badgeType() const;
    QString hostText() const;
    QString addressText() const;
    QString countText() const;
    QString countryText() const;
    QString countryToolTip() const;
    bool showsFlag() const;
    double contentOpacity() const;
    bool isURLHovered() const { return m_isURLHovered; }
    bool isCopyingURL() const { return m_isCopyingURL; }
    bool isCopyingIP() const { return m_isCopyingIP; }
    QLabel* hostLabel() const { return m_host; }
    QLabel* addressLabel() const { return m_address; }

    static QString capitalized(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void applyHostText();
    void copy(bool url);

    const std::shared_ptr<Hit> m_hit;
    QWidget* m_content;
    QGraphicsOpacityEffect* m_opacity;
    QWidget* m_dot;
    QLabel* m_host;
    QLabel* m_address;
    QWidget* m_badgeSlot;
    ConnectionSafetyIndicator* m_badge;
    QLabel* m_count;
    QLabel* m_flag;
    QLabel* m_country;
    QWidget* m_countryBlock;
    bool m_isURLHovered = false;
    bool m_isCopyingURL = false;
    bool m_isCopyingIP = false;
    QTimer m_hoverTimer;
    QTimer m_pressTimer;
    QPointer<QLabel> m_pressed;
    QPoint m_pressPosition;
};

}  // namespace tarnwick
