#include "KVBAlertPresenter.h"

#include "KVBLocalizedString.h"

#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>

namespace tarnwick {

namespace {

QMessageBox* makeBox(const KVBAlertPresenter::Alert& alert, QWidget* parent) {
    auto* box = new QMessageBox(parent);
    box->setText(alert.title);
    box->setInformativeText(alert.text);
    if (!alert.icon.isNull()) {
        box->setIconPixmap(QPixmap::fromImage(
            alert.icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    box->addButton(kvbLocalizedString("OK", "Alert window button title."), QMessageBox::AcceptRole);
    return box;
}

}  // namespace

void KVBMessageBoxAlertPresenter::presentSheet(const Alert& alert, QWidget* window) {
    QMessageBox* box = makeBox(alert, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void KVBMessageBoxAlertPresenter::runApplicationModal(const Alert& alert) {
    QMessageBox* box = makeBox(alert, nullptr);
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
    delete box;
}

}  // namespace tarnwick
