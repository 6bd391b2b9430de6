#pragma once

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QWidget>

#include <functional>
#include <optional>
#include <string_view>

namespace tarnwick {

class PUApplication;

// The card that asks whether to uninstall a found application. It lies over the whole list area
// and keeps the card in its middle; it removes nothing and never hides itself: each button press
// answers `confimationAction` once (true = uninstall), and a press beside the card calls
// `onTapOutside`, so the owner decides what happens.
class UninstallPopUpView : public QWidget {
    Q_OBJECT

public:
    static constexpr int maximumCardHeight = 260;

    class ActionButton : public QAbstractButton {
    public:
        enum class Role { cancel, uninstall };
        static std::optional<Role> roleFromRawValue(std::string_view rawValue);
        static std::string_view rawValue(Role role);

        ActionButton(Role role, std::function<void(bool)> action, QWidget* parent);
        QSize sizeHint() const override;

    protected:
        void paintEvent(QPaintEvent* event) override;

    private:
        Role m_role;
    };

    UninstallPopUpView(QIcon appIcon, QString appName, std::function<void(bool)> confimationAction,
                       QWidget* parent = nullptr);

    std::function<void()> onTapOutside;
    QWidget* card() const { return m_card; }
    ActionButton* cancelButton() const { return m_cancel; }
    ActionButton* uninstallButton() const { return m_uninstall; }
    QString question() const;
    // The question asked for an application: a bundle's "Uninstall <name>?"; for an installed
    // desktop application, what its kind's removal takes away (the package, the snap, ...).
    static QString questionFor(const PUApplication& application);
    // Why the application cannot be removed from here (an entry no package manager installed),
    // or none when it can: said before anything is pressed, instead of a question.
    static std::optional<QString> refusalFor(const PUApplication& application);
    void setQuestion(const QString& question);
    // Without removal the card only tells why, and offers nothing but to close it.
    void setRemovable(bool removable);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_card;
    ActionButton* m_cancel;
    ActionButton* m_uninstall;
    void fitQuestion();

    QString m_question;
    QLabel* m_questionLabel;
    QLabel* m_icon;
    QIcon m_appIcon;
};

}  // namespace tarnwick
