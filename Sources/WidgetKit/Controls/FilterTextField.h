#pragma once

#include <QLineEdit>

namespace tarnwick {

// The search field of the lists: a rounded, fixed-width field with the "Filter..." placeholder.
// The text is the owner's: read it through textChanged.
class FilterTextField : public QLineEdit {
    Q_OBJECT

public:
    explicit FilterTextField(QWidget* parent = nullptr) : FilterTextField(false, parent) {}

protected:
    FilterTextField(bool automaticFocus, QWidget* parent);

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const bool m_automaticFocus;
    bool m_didFocus = false;
};

}  // namespace tarnwick
