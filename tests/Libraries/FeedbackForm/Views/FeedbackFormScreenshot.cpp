#include "FeedbackForm/Views/KVBAttachmentsViewController.h"
#include "FeedbackForm/Views/KVBFeedbackController.h"
#include "FeedbackForm/Views/KVBInterfaceSettings.h"
#include "FeedbackForm/Views/KVBMainViewController.h"
#include "FeedbackForm/Views/KVBSystemProfileViewController.h"
#include "FeedbackForm/Views/KVBTextControlValidationContainer.h"
#include "FeedbackForm/Views/KVBTextFieldWrapper.h"
#include "FeedbackForm/Views/KVBTextView.h"
#include "FeedbackFormTestSupport.h"
#include "QtSupport/MainQueueBridge.h"
#include "support/PictureChecks.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fstream>

using namespace tarnwick;
using namespace Qt::StringLiterals;

// Draws the feedback window as a user sees it after a first try: an icon, two attachments, a
// malformed e-mail with its message. Usage: feedback_form_screenshot <form.png>
// [<profile-pop-up.png>]
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    MainQueueBridge::install();
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }
    QTemporaryDir folder;
    const std::filesystem::path base = folder.path().toStdString();
    for (const char* name : {"Screenshot 2026-12-10 at 16.20.11.png", "tarnwick-crash.log"}) {
        std::ofstream(base / name) << "content";
    }

    auto settings = KVBInterfaceSettings::defaultSettings();
    QImage icon(128, 128, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x2F, 0x6F, 0xB5));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(8, 8, 112, 112), 26, 26);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(36, 36, 56, 56));
    }
    settings->setIcon(icon);
    settings->setDefaultName(u"Ada Lovelace"_s);

    auto files = std::make_shared<testing::ChosenFiles>();
    files->files = {base / "Screenshot 2026-12-10 at 16.20.11.png", base / "tarnwick-crash.log"};
    KVBFeedbackController controller(std::make_shared<testing::HeldSender>(), settings,
                                     std::make_shared<testing::FixedProfileProvider>(), files,
                                     std::make_shared<testing::RecordingAlerts>());
    controller.showWindow();
    auto& form = *controller.mainViewController();
    form.attachmentsViewController()->attachButtonItemDidReceiveClick(nullptr);
    form.emailFieldContainer()->textControl()->setStringValue(u"ada@example"_s);
    form.detailsFieldContainer()->textControl()->setStringValue(
        u"The map stays empty after the Connections Monitor starts."_s);
    form.sendButtonClicked();  // shows the e-mail rule's message
    controller.window()->adjustSize();
    if (!QTest::qWaitForWindowExposed(controller.window()) ||
        !QTest::qWaitFor(testing::animationsAtRest, 10000)) {
        std::fprintf(stderr, "the feedback window did not come to rest\n");
        return 1;
    }
    const std::string formFaults = testing::pictureFaults(
        controller.window(), {form.emailFieldContainer()},
        {u"Provide Feedback"_s, u"Ada Lovelace"_s, u"ada@example"_s, u"Incorrect email"_s,
         u"The map stays empty after the Connections Monitor starts."_s,
         u"Screenshot 2026-12-10 at 16.20.11.png"_s, u"tarnwick-crash.log"_s,
         u"Send anonymous system profile"_s, u"Send Feedback"_s});
    if (!formFaults.empty()) {
        std::fprintf(stderr, "the feedback window does not show what it must:\n%s",
                     formFaults.c_str());
        return 1;
    }

    const QImage shot = controller.window()->grab().toImage();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[1], shot.width(), shot.height());

    if (argc >= 3) {
        // The system profile pop-up, opened by the info button.
        form.clickableViewDidReceiveClick(form.systemInfoClickableView());
        QWidget* profile = form.systemProfileViewController()->window();
        // The profile is gathered on another thread; the pop-up shows it once it is in.
        const auto gathered = [&] {
            return form.systemProfileViewController()->textView()->toPlainText().contains(
                u"Machine Model = Test"_s);
        };
        if (!QTest::qWaitForWindowExposed(profile) || !QTest::qWaitFor(gathered, 10000) ||
            !QTest::qWaitFor(testing::animationsAtRest, 10000)) {
            std::fprintf(stderr, "the system profile did not come to rest\n");
            return 1;
        }
        const std::string profileFaults = testing::pictureFaults(
            profile, {form.systemProfileViewController()->tabs()}, {u"Machine Model = Test"_s});
        if (!profileFaults.empty()) {
            std::fprintf(stderr, "the system profile does not show what it must:\n%s",
                         profileFaults.c_str());
            return 1;
        }
        const QImage popover = form.systemProfileViewController()->window()->grab().toImage();
        if (!popover.save(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        std::printf("%s: %dx%d\n", argv[2], popover.width(), popover.height());
    }
    MainQueueBridge::uninstall();
    return 0;
}
