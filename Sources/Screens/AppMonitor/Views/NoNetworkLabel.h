#pragma once

#include <QWidget>

class QLabel;

namespace tarnwick {

// The result list's warning that the last scan ran without network, at the trailing end of the
// title row; absent after a scan with network.
class NoNetworkLabel : public QWidget {
    Q_OBJECT

public:
    explicit NoNetworkLabel(QWidget* parent = nullptr);

    void setNetworkStatus(bool networkStatus);
    bool isShowingWarning() const;
    QLabel* label() const { return m_label; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void applyColour();

    QLabel* m_label;
    bool m_isHovered = false;
};

}  // namespace tarnwick
