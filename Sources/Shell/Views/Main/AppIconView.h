#pragma once

#include "Foundation/Bundle.h"

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace tarnwick {

// The application icon at the head of the side bar: lower in full screen (no window buttons
// above it), with a "beta" caption for beta builds. A tap opens a new About window.
class AppIconView : public QWidget {
    Q_OBJECT

public:
    explicit AppIconView(const Bundle& bundle = Bundle::main(), QWidget* parent = nullptr);

    void setFullscreen(bool fullscreen);
    int iconTopPadding() const;
    bool showsBetaCaption() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* m_icon = nullptr;
    QLabel* m_beta = nullptr;
    QVBoxLayout* m_column = nullptr;
    bool m_isFullscreen = false;
};

}  // namespace tarnwick
