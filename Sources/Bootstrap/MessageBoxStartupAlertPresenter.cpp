#include "MessageBoxStartupAlertPresenter.h"

#include <QMessageBox>
#include <QPushButton>

namespace tarnwick {

MessageBoxStartupAlertPresenter::MessageBoxStartupAlertPresenter(std::function<QWidget*()> parent)
    : m_parent(std::move(parent)) {}

bool MessageBoxStartupAlertPresenter::confirmMove(const std::string& informativeText) {
    QMessageBox alert(m_parent());
    alert.setText(QStringLiteral("Move to Applications folder"));
    alert.setInformativeText(QString::fromStdString(informativeText));
    QPushButton* move =
        alert.addButton(QStringLiteral("Move to Applications Folder"), QMessageBox::AcceptRole);
    alert.addButton(QStringLiteral("Do Not Move"), QMessageBox::RejectRole);
    alert.exec();
    return alert.clickedButton() == move;
}

void MessageBoxStartupAlertPresenter::reportMoveFailure(const std::string& message) {
    QMessageBox::warning(m_parent(), QStringLiteral("Move to Applications folder"),
                         QString::fromStdString(message));
}

void MessageBoxStartupAlertPresenter::reportUpdateCheck(const std::string& message) {
    QMessageBox::information(m_parent(), QStringLiteral("Check for Updates"),
                             QString::fromStdString(message));
}

}  // namespace tarnwick
