#include "../EngineFixture.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorHitCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"
#include "Tools/WorkspaceUtilities.h"
#include "support/BundleFixture.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTextDocument>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

namespace tarnwick::testing {
namespace {

// The list over a real engine (fake extension managers, loopback geo-IP).
class ConnectionListView : public EngineFixture {
public:
    void TearDown() override { drainMainQueue(); }

    void record(const std::string& bundleId, const std::string& address, const std::string& url) {
        engine().recordHit({{"bundleId", bundleId}, {"remoteAddress", address}, {"url", url}},
                           true);
        drainMainQueue();
    }
    std::shared_ptr<Application> application(const std::string& bundleId) {
        for (const auto& candidate : engine().applications()) {
            if (candidate->bundleIdentifier() == bundleId) {
                return candidate;
            }
        }
        return nullptr;
    }
    // The text a tooltip shows: Qt draws one that looks like markup as markup.
    static QString shownToolTip(const QString& tip) {
        QTextDocument document;
        if (Qt::mightBeRichText(tip)) {
            document.setHtml(tip);
        } else {
            document.setPlainText(tip);
        }
        return document.toPlainText();
    }
};

// Program and host names come from outside: markup in them is shown as written, in the rows,
// the servers and the name's tooltip.
TEST_F(ConnectionListView, NamesFromOutsideAreShownAsPlainText) {
    const std::string program = "<b>Evil</b> &amp; Co";
    const std::string host = "https://<i>x</i>.example.ru/";
    record(program, kRussianServer, host);
    ConnectionsMonitorInProgressView list(m_engine, {});
    list.resize(900, 600);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    engine().setExpandedInfoForApp(application(program));
    drainMainQueue();
    ASSERT_EQ(list.rows().size(), 1u);
    ASSERT_EQ(list.rows()[0]->hitRows().size(), 1u);

    for (auto* label : list.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        }
    }
    EXPECT_EQ(list.rows()[0]->hitRows()[0]->hostText(), QString::fromStdString(host));
    bool nameShown = false;
    for (auto* label : list.rows()[0]->findChildren<QLabel*>()) {
        if (!label->toolTip().isEmpty()) {
            EXPECT_EQ(shownToolTip(label->toolTip()), QString::fromStdString(program));
            nameShown = true;
        }
    }
    EXPECT_TRUE(nameShown);
}

std::string bigEndian32(std::size_t value) {
    return {static_cast<char>((value >> 24) & 0xff), static_cast<char>((value >> 16) & 0xff),
            static_cast<char>((value >> 8) & 0xff), static_cast<char>(value & 0xff)};
}

// A row made after its program quit still shows the icon found while the program ran.
TEST_F(ConnectionListView, ARowKeepsTheIconFoundWhileItsProgramRan) {
    QImage red(64, 64, QImage::Format_ARGB32);
    red.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(red.save(&buffer, "PNG"));
    const std::string image(png.constData(), static_cast<std::size_t>(png.size()));
    TemporaryDirectory folder;
    BundleFixture fixture;
    fixture.name = "Quitter.app";
    fixture.info["CFBundleIdentifier"] = Value(std::string("org.example.Quitter"));
    fixture.info["CFBundleIconFile"] = Value(std::string("AppIcon"));
    fixture.executable = readFile("/bin/sleep");
    const auto quitter = testing::writeBundle(folder.path(), fixture);
    writeFile(
        quitter / "Contents/Resources/AppIcon.icns",
        "icns" + bigEndian32(16 + image.size()) + "ic07" + bigEndian32(8 + image.size()) + image);
    const auto program = quitter / "Contents/MacOS/Quitter";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);

    const std::string executable = program.string();
    char* arguments[] = {const_cast<char*>(executable.c_str()), const_cast<char*>("60"), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, arguments, environ), 0);
    const auto running = [] {
        return runningApplication(Workspace::shared(), "org.example.Quitter").has_value();
    };
    EXPECT_TRUE(QTest::qWaitFor(running, 10000));
    record("org.example.Quitter", kGermanServer, "https://quitter.example.de/");
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ASSERT_FALSE(running());

    ConnectionsMonitorInProgressView list(m_engine, {});
    ASSERT_EQ(list.rows().size(), 1u);
    QImage shown;
    for (auto* label : list.rows()[0]->findChildren<QLabel*>()) {
        if (label->width() == 32 && !label->pixmap().isNull()) {
            shown = label->pixmap().toImage();
        }
    }
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));
}

// An expanded row is as tall as the servers it lists: when filtering leaves fewer of them and
// the list no longer fills the view, the row shrinks instead of keeping a gap.
TEST_F(ConnectionListView, AnExpandedRowShrinksWithTheServersItLists) {
    for (int i = 0; i < 12; ++i) {
        record("org.beta.Chat", kGermanServer, "https://chat" + std::to_string(i) + ".example.de/");
    }
    record("org.beta.Chat", kRussianServer, "https://chat.example.ru/");
    const auto chat = application("org.beta.Chat");
    ASSERT_TRUE(waitFor([&] { return chat->isWarning(); }));
    ConnectionsMonitorInProgressView list(m_engine, {});
    list.resize(900, 600);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    engine().setExpandedInfoForApp(chat);
    drainMainQueue();
    auto* row = list.rows()[0];
    // The header and the server rows, nothing more.
    const auto fitsItsServers = [&](std::size_t servers) {
        return QTest::qWaitFor(
            [&] {
                int height = ConnectionMonitorCellView::kRowHeight;
                for (auto* hit : row->hitRows()) {
                    height += hit->sizeHint().height();
                }
                return row->hitRows().size() == servers && row->height() == height;
            },
            5000);
    };
    ASSERT_TRUE(fitsItsServers(13));
    const int allServers = row->height();

    engine().setShowOnlyCompromised(true);
    EXPECT_TRUE(fitsItsServers(1)) << row->height();
    EXPECT_LT(row->height(), allServers);

    engine().setShowOnlyCompromised(false);
    EXPECT_TRUE(fitsItsServers(13));
    EXPECT_EQ(row->height(), allServers);
}

}  // namespace
}  // namespace tarnwick::testing
