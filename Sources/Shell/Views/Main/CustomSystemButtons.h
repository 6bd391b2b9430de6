#pragma once

#include <QAbstractButton>
#include <QWidget>

namespace tarnwick {

// The window's own close, minimise and full-screen buttons, drawn as coloured circles whose
// glyphs show while the pointer is over any of them. Close quits the application, minimise acts
// on the active window and full screen on the window that holds the row.
class CustomSystemButtons : public QWidget {
    Q_OBJECT

public:
    explicit CustomSystemButtons(QWidget* parent = nullptr);

    bool isHovered() const { return m_isHovered; }
    void setHovered(bool hovered);
    QAbstractButton* closeButton() const { return m_close; }
    QAbstractButton* minimiseButton() const { return m_minimise; }
    QAbstractButton* fullScreenButton() const { return m_fullScreen; }

private:
    bool m_isHovered = false;
    QAbstractButton* m_close;
    QAbstractButton* m_minimise;
    QAbstractButton* m_fullScreen;
};

}  // namespace tarnwick
