#pragma once

#include <QString>
#include <QWidget>

class QVariantAnimation;

namespace tarnwick {

// The result list's warning that the last scan ran without network, at the trailing end of the
// title row; absent after a scan with network. It grows in from its trailing edge and shrinks
// back into it, and stands out a little under the pointer.
class NoNetworkLabel : public QWidget {
    Q_OBJECT

public:
    static constexpr int trailingPadding = 24;
    static constexpr int transitionMilliseconds = 500;

    explicit NoNetworkLabel(QWidget* parent = nullptr);

    void setNetworkStatus(bool networkStatus);
    bool isShowingWarning() const { return m_isShowing; }
    const QString& text() const { return m_text; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_text;
    bool m_isShowing = false;
    bool m_isHovered = false;
    double m_scale = 0.0;  // 0: not drawn
    QVariantAnimation* m_transition;
};

}  // namespace tarnwick
