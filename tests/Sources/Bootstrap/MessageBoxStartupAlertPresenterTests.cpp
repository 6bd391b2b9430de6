#include "Bootstrap/MessageBoxStartupAlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;

struct ShownAlert {
    QString text;
    QString informativeText;
    QStringList buttons;
};

// Once the modal alert is up, notes what it shows and clicks the button titled `answer`.
void answerAlert(const QString& answer, ShownAlert& shown) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, &shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        shown.text = box->text();
        shown.informativeText = box->informativeText();
        for (QAbstractButton* button : box->buttons()) {
            shown.buttons << button->text();
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == answer) {
                button->click();
                return;
            }
        }
        box->reject();
    });
    poll->start(10);
}

TEST(MessageBoxStartupAlertPresenterTest, TheMoveAlertAsksInItsOwnWordsAndOnlyItsFirstButtonMoves) {
    const struct {
        QString answer;
        bool moves;
    } cases[] = {{u"Move to Applications Folder"_s, true}, {u"Do Not Move"_s, false}};
    for (const auto& each : cases) {
        MessageBoxStartupAlertPresenter presenter([]() -> QWidget* { return nullptr; });
        ShownAlert shown;
        answerAlert(each.answer, shown);
        EXPECT_EQ(presenter.confirmMove("Tarnwick needs to move."), each.moves)
            << each.answer.toStdString();
        EXPECT_EQ(shown.text, u"Move to Applications folder"_s);
        EXPECT_EQ(shown.informativeText, u"Tarnwick needs to move."_s);
        EXPECT_EQ(shown.buttons, (QStringList{u"Move to Applications Folder"_s, u"Do Not Move"_s}));
    }
}

}  // namespace
}  // namespace tarnwick
