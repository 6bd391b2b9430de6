#include "../EngineFixture.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionMonitorHitCellView.h"
#include "Screens/ConnectionsMonitor/Views/ConnectionsMonitorInProgressView.h"

#include <QLabel>
#include <QTest>
#include <QTextDocument>

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

}  // namespace
}  // namespace tarnwick::testing
