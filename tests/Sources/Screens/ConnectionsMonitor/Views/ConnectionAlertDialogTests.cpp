#include "Screens/ConnectionsMonitor/Views/ConnectionAlertDialog.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;

ConnectionAlert sixButtons() {
    ConnectionAlert alert;
    alert.messageText = "Potentially Unwanted Connection from Curl";
    alert.informativeText = "Host: mirror.example.ru\nCountry: Russia\nIP: 203.0.113.1";
    alert.buttons = {"Allow this connection",
                     "Deny this connection",
                     "Allow connections from Curl",
                     "Deny connections from Curl",
                     "Allow connections to mirror.example.ru",
                     "Deny connections to mirror.example.ru"};
    return alert;
}

std::vector<QPushButton*> buttonsOf(QWidget* dialog) {
    std::vector<QPushButton*> buttons;
    for (auto* button : dialog->findChildren<QPushButton*>()) {
        buttons.push_back(button);
    }
    return buttons;
}

// Set TARNWICK_SCREENSHOT_DIR to keep a picture of each window.
void saveScreenshot(QWidget* window, const char* name) {
    if (const char* folder = std::getenv("TARNWICK_SCREENSHOT_DIR")) {
        window->grab().save(QFile::decodeName(folder) + u'/' + QString::fromUtf8(name) + u".png"_s);
    }
}

// The texts name the program and the host: markup in them is shown as written.
TEST(ConnectionAlertDialog, NamesInTheTextsAreShownAsPlainText) {
    ConnectionAlert alert = sixButtons();
    alert.messageText = "Potentially Unwanted Connection from <b>Curl</b>";
    alert.informativeText = "Host: <img src=x>.example.ru\nCountry: Russia\nIP: 203.0.113.1";
    QtConnectionAlertPresenter presenter;
    presenter.present(alert, [](int) {});
    auto* dialog = presenter.currentDialog();
    ASSERT_NE(dialog, nullptr);
    for (const auto& name : {u"messageText"_s, u"informativeText"_s}) {
        EXPECT_EQ(dialog->findChild<QLabel*>(name)->textFormat(), Qt::PlainText)
            << name.toStdString();
    }
    QtErrorAlertPresenter errors(nullptr);
    errors.presentError("Could not reach <b>the filter</b>");
    auto* error = errors.currentDialog();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->findChild<QLabel*>(u"errorText"_s)->textFormat(), Qt::PlainText);
    presenter.dismiss();
    error->close();
}

TEST(ConnectionAlertDialog, ShowsTheTextsAndAnswersOnceWithThePressedButton) {
    std::vector<int> answers;
    QtConnectionAlertPresenter presenter;
    presenter.present(sixButtons(), [&](int answer) { answers.push_back(answer); });
    auto* dialog = presenter.currentDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->findChild<QLabel*>(u"messageText"_s)->text(),
              u"Potentially Unwanted Connection from Curl"_s);
    EXPECT_EQ(dialog->findChild<QLabel*>(u"informativeText"_s)->text(),
              u"Host: mirror.example.ru\nCountry: Russia\nIP: 203.0.113.1"_s);
    const auto buttons = buttonsOf(dialog);
    ASSERT_EQ(buttons.size(), 6u);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->text().toStdString(), sixButtons().buttons[i]);
    }
    // A program that runs from nowhere known shows the command-line image, not a warning sign.
    const auto* icon = dialog->findChild<QLabel*>(u"programIcon"_s);
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    saveScreenshot(dialog, "connection-alert");

    QPointer<ConnectionAlertDialog> watched = dialog;
    QTest::mouseClick(buttons[5], Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }));
    EXPECT_EQ(answers, std::vector<int>{1005});
}

TEST(ConnectionAlertDialog, ClosingAnswersNoButtonAndDismissingAnswersNothing) {
    std::vector<int> answers;
    QtConnectionAlertPresenter presenter;
    presenter.present(sixButtons(), [&](int answer) { answers.push_back(answer); });
    presenter.currentDialog()->reject();
    EXPECT_EQ(answers, std::vector<int>{ConnectionAlert::kNoAnswer});

    answers.clear();
    presenter.present(sixButtons(), [&](int answer) { answers.push_back(answer); });
    QPointer<ConnectionAlertDialog> watched = presenter.currentDialog();
    presenter.dismiss();
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }));
    EXPECT_TRUE(answers.empty());
}

TEST(ErrorAlert, ShowsTheErrorWithoutBlocking) {
    QtErrorAlertPresenter presenter;
    presenter.presentError("The administrator password prompt was dismissed.");
    auto* dialog = presenter.currentDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_EQ(dialog->findChild<QLabel*>(u"errorText"_s)->text(),
              u"The administrator password prompt was dismissed."_s);
    saveScreenshot(dialog, "error-alert");
    dialog->accept();
}

}  // namespace
}  // namespace tarnwick
