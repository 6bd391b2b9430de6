#include "ConnectionAlertDialog.h"

#include "Screens/ConnectionsMonitor/Views/ProgramIcon.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QLabel* warningIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    const int size = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(parent->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    return icon;
}

QLabel* programIcon(const std::optional<std::string>& bundleIdentifier, QWidget* parent) {
    auto* icon = new QLabel(parent);
    const int size = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(programIconPixmap(bundleIdentifier, size, parent->devicePixelRatioF()));
    icon->setObjectName("programIcon");
    icon->setAlignment(Qt::AlignTop);
    return icon;
}

}  // namespace

ConnectionAlertDialog::ConnectionAlertDialog(const ConnectionAlert& alert,
                                             std::function<void(int)> answer, QWidget* parent)
    : QDialog(parent), m_answer(std::move(answer)) {
    setObjectName("ConnectionAlertDialog");
    setWindowTitle(QString::fromStdString(alert.messageText));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(programIcon(alert.iconBundleIdentifier, this));
    auto* column = new QVBoxLayout();
    // The texts name the program and the host: plain text, whatever they contain.
    auto* message = new QLabel(QString::fromStdString(alert.messageText), this);
    message->setTextFormat(Qt::PlainText);
    message->setObjectName("messageText");
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setWordWrap(true);
    column->addWidget(message);
    auto* informative = new QLabel(QString::fromStdString(alert.informativeText), this);
    informative->setTextFormat(Qt::PlainText);
    informative->setObjectName("informativeText");
    informative->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(informative);
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
        auto* button = new QPushButton(QString::fromStdString(alert.buttons[i]), this);
        button->setAutoDefault(false);
        const int value = ConnectionAlert::kFirstButtonAnswer + static_cast<int>(i);
        connect(button, &QPushButton::clicked, this, [this, value] {
            answerOnce(value);
            close();
        });
        column->addWidget(button);
    }
    layout->addLayout(column);
    setMinimumWidth(380);
}

void ConnectionAlertDialog::answerOnce(int answer) {
    if (auto pending = std::exchange(m_answer, nullptr)) {
        pending(answer);
    }
}

void ConnectionAlertDialog::dismiss() {
    m_answer = nullptr;
    close();
}

void ConnectionAlertDialog::done(int result) {
    // Escape or the window's close button: no button was pressed.
    answerOnce(ConnectionAlert::kNoAnswer);
    QDialog::done(result);
}

QtConnectionAlertPresenter::~QtConnectionAlertPresenter() {
    dismiss();
}

void QtConnectionAlertPresenter::present(const ConnectionAlert& alert, Answer answer) {
    dismiss();
    m_dialog = new ConnectionAlertDialog(alert, std::move(answer), m_parent);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    QApplication::alert(m_dialog);
}

void QtConnectionAlertPresenter::dismiss() {
    if (m_dialog) {
        m_dialog->dismiss();
    }
}

void QtErrorAlertPresenter::presentError(const std::string& message) {
    if (m_dialog) {
        m_dialog->close();
    }
    auto* dialog = new QDialog(m_parent);
    dialog->setObjectName("ErrorAlertDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QHBoxLayout(dialog);
    layout->addWidget(warningIcon(dialog));
    auto* column = new QVBoxLayout();
    auto* text = new QLabel(QString::fromStdString(message), dialog);
    text->setTextFormat(Qt::PlainText);
    text->setObjectName("errorText");
    text->setWordWrap(true);
    column->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    column->addWidget(buttons);
    layout->addLayout(column);
    dialog->setMinimumWidth(340);
    m_dialog = dialog;
    dialog->show();
}

}  // namespace tarnwick
