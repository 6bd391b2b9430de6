#include "WidgetKit/Controls/ClickableIconView.h"
#include "WidgetKit/Controls/Container.h"
#include "WidgetKit/Controls/CustomCheckMarkView.h"
#include "WidgetKit/Controls/CustomDisclosureButtonOutlineView.h"
#include "WidgetKit/Controls/FilterTextField.h"
#include "WidgetKit/Controls/FocusableFilterTextField.h"
#include "WidgetKit/Controls/ImageAlignmableCell.h"
#include "WidgetKit/Controls/MouseTrackingView.h"
#include "WidgetKit/Controls/NoNetworkPopUp.h"
#include "WidgetKit/Controls/ScanButtonView.h"
#include "WidgetKit/Controls/ScrollGradientView.h"
#include "WidgetKit/Style/Appearance.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;

TEST(ClickableIconViewTest, CallsOnlyWhenReleasedInside) {
    QWidget host;
    host.resize(100, 100);
    auto* view = new ClickableIconView(&host);
    view->setGeometry(10, 10, 20, 20);
    view->setIcon("close");
    host.show();
    int clicks = 0;
    view->onClick = [&] { ++clicks; };

    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(view->isPressed());
    QMouseEvent out(QEvent::MouseMove, QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)),
                    Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &out);
    EXPECT_FALSE(view->isPressed());
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_EQ(clicks, 0);

    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 5));
    QApplication::sendEvent(view, &out);
    QMouseEvent back(QEvent::MouseMove, QPointF(6, 6), view->mapToGlobal(QPointF(6, 6)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &back);
    EXPECT_TRUE(view->isPressed());
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(6, 6));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(view->isPressed());

    view->onClick = nullptr;
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(5, 5));  // no callback, no effect
    EXPECT_FALSE(view->iconView()->pixmap().isNull());
}

TEST(CustomCheckMarkViewTest, DisabledBoxIgnoresTapsAndShowsGrey) {
    bool checked = true;
    CustomCheckMarkView disabled(true, true);
    disabled.onToggle = [&](bool value) { checked = value; };
    QTest::mouseClick(&disabled, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_TRUE(checked);
    EXPECT_NE(disabled.boxColor(), Appearance::color(NamedColor::scanButtonColor()));

    CustomCheckMarkView enabled(true, false);
    enabled.onToggle = [&](bool value) { checked = value; };
    EXPECT_EQ(enabled.boxColor(), Appearance::color(NamedColor::scanButtonColor()));
    QTest::mouseClick(&enabled, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_FALSE(checked);
}

TEST(ScrollGradientViewTest, NeverTakesClicks) {
    ScrollGradientView gradient(false, 30);
    EXPECT_TRUE(gradient.testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(gradient.height(), 30);
}

TEST(FilterTextFieldTest, KeepsItsWidthAndFocusesOnlyWhenAsked) {
    QWidget host;
    auto* layout = new QHBoxLayout(&host);
    auto* plain = new FilterTextField(&host);
    auto* focusing = new FocusableFilterTextField(true, &host);
    layout->addWidget(plain);
    layout->addWidget(focusing);
    EXPECT_EQ(plain->placeholderText(), u"Filter..."_s);
    plain->setText(QString(200, u'x'));
    EXPECT_EQ(plain->width(), 156);
    host.show();
    QApplication::setActiveWindow(&host);
    EXPECT_TRUE(QTest::qWaitFor([&] { return focusing->hasFocus(); }, 2000));
    EXPECT_FALSE(plain->hasFocus());
}

TEST(MouseTrackingViewTest, ReportsToHandlersAndTestsTheFirstPointAgainstItsOwnRectangle) {
    QWidget host;
    host.resize(200, 200);
    auto* view = new MouseTrackingView(&host);
    view->setGeometry(100, 100, 50, 50);
    std::vector<std::string> events;
    auto entered = std::make_shared<MouseTrackingEventHandler>(
        MouseTrackingEventHandler::TrackingEventType::mouseEntered,
        [&](MouseTrackingView&, QEvent*) { events.push_back("entered"); });
    auto exited = std::make_shared<MouseTrackingEventHandler>(
        MouseTrackingEventHandler::TrackingEventType::mouseExited,
        [&](MouseTrackingView&, QEvent*) { events.push_back("exited"); });
    view->addHandlers({entered, entered, exited});
    QPoint pointer;
    view->pointerLocation = [&] { return pointer; };
    host.show();
    events.clear();

    // A point inside the view's own rectangle (its frame lies elsewhere in the host).
    pointer = view->mapToGlobal(QPoint(10, 10));
    view->updateTrackingAreas();
    EXPECT_EQ(events, (std::vector<std::string>{"entered", "entered"}));

    view->removeHandler(entered);
    events.clear();
    view->updateTrackingAreas();
    EXPECT_EQ(events, std::vector<std::string>{"entered"});

    pointer = view->mapToGlobal(QPoint(-60, -60));
    events.clear();
    view->updateTrackingAreas();
    EXPECT_EQ(events, std::vector<std::string>{"exited"});

    view->isEnabled = false;
    events.clear();
    view->updateTrackingAreas();
    EXPECT_TRUE(events.empty());

    EXPECT_FALSE(MouseTrackingEventHandler::trackingEventType(2).has_value());
    EXPECT_EQ(MouseTrackingEventHandler::trackingEventType(1),
              MouseTrackingEventHandler::TrackingEventType::mouseExited);
}

TEST(ContainerTest, PlacesContentByAlignment) {
    struct Row {
        std::optional<Container::Alignment> alignment;
        QPoint expectedTopLeft;  // of a 20 x 10 child in a 200 x 100 container; -1: don't care
    };
    for (const Row& row : std::vector<Row>{
             {Container::Alignment::topLeading, QPoint(0, 0)},
             {Container::Alignment::center, QPoint(90, 45)},
             {Container::Alignment::bottomTrailing, QPoint(180, 90)},
         }) {
        auto* child = new QWidget;
        child->setFixedSize(20, 10);
        Container container({child}, row.alignment);
        container.resize(200, 100);
        container.show();
        container.layout()->activate();
        EXPECT_EQ(child->geometry().topLeft(), row.expectedTopLeft);
    }
    // No alignment: side by side, in order, and only as big as needed.
    auto* first = new QWidget;
    auto* second = new QWidget;
    first->setFixedSize(20, 10);
    second->setFixedSize(30, 10);
    Container row({first, second}, std::nullopt);
    row.adjustSize();
    EXPECT_LT(first->x(), second->x());
    EXPECT_LE(row.width(), 20 + 30 + 20);
}

TEST(NoNetworkPopUpTest, StripSpansTheWidthLessItsInsetsAndStays32High) {
    NoNetworkPopUp popUp;
    popUp.resize(800, 200);
    popUp.show();
    popUp.layout()->activate();
    EXPECT_EQ(popUp.strip()->geometry().left(), 56);
    EXPECT_EQ(popUp.strip()->width(), 800 - 2 * 56);
    EXPECT_EQ(popUp.strip()->height(), 32);
}

TEST(ImageAlignmableCellTest, KeepsThePlainColumnButSitsTwentyFourBelowTheTop) {
    struct Row {
        QRect bounds;
        QSize image;
        QRect expected;
    };
    for (const Row& row : std::vector<Row>{
             {QRect(0, 0, 20, 100), QSize(20, 20), QRect(0, 24, 20, 20)},
             {QRect(10, 200, 40, 60), QSize(16, 16), QRect(22, 224, 16, 16)},
             // Shorter than the offset: still placed there, as a plain cell would not clip it.
             {QRect(0, 0, 20, 16), QSize(12, 12), QRect(4, 24, 12, 12)},
         }) {
        EXPECT_EQ(ImageAlignmableCell::imageRectForBounds(row.bounds, row.image), row.expected);
    }
}

// The triangle of a tall row is drawn near its top, not in its middle, and still toggles the row.
TEST(CustomDisclosureButtonOutlineViewTest, DrawsTheTriangleNearTheTopAndTogglesOnIt) {
    QStandardItemModel model;
    auto* parent = new QStandardItem(QStringLiteral("Parent"));
    parent->setSizeHint(QSize(200, 120));
    parent->appendRow(new QStandardItem(QStringLiteral("Child")));
    model.appendRow(parent);
    CustomDisclosureButtonOutlineView view;
    view.setHeaderHidden(true);
    view.setModel(&model);
    view.resize(300, 300);
    view.show();
    QCoreApplication::processEvents();

    const QRect row = view.visualRect(model.index(0, 0));
    const QRect branch(0, row.top(), row.left(), row.height());
    const QRect triangle = view.disclosureRect(branch);
    EXPECT_EQ(triangle.top(), row.top() + ImageAlignmableCell::kImageTop);

    const QImage image = view.viewport()->grab().toImage();
    const QColor background = image.pixelColor(branch.left() + 1, row.bottom() - 1);
    auto drawnBetween = [&](int top, int bottom) {
        for (int y = top; y <= bottom; ++y) {
            for (int x = branch.left(); x <= branch.right(); ++x) {
                if (image.pixelColor(x, y) != background) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(drawnBetween(triangle.top(), triangle.bottom()));
    EXPECT_FALSE(drawnBetween(triangle.bottom() + 2, row.bottom()));

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, triangle.center());
    EXPECT_TRUE(view.isExpanded(model.index(0, 0)));
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

TEST(FocusRingTest, EveryControlShowsWhereTheKeyboardIs) {
    QWidget host;
    auto* controls = new QHBoxLayout(&host);
    auto* start = new QLineEdit(&host);
    controls->addWidget(start);
    auto* scan = new ScanButtonView(
        ScanButtonConfig::appMonitor(), [](ScanState) {}, &host);
    controls->addWidget(scan);
    auto* search = new FocusableFilterTextField(false, &host);
    controls->addWidget(search);
    auto* check = new CustomCheckMarkView(false, false, &host);
    check->setFocusPolicy(Qt::TabFocus);
    int toggles = 0;
    check->onToggle = [&](bool) { ++toggles; };
    controls->addWidget(check);
    host.show();
    QApplication::setActiveWindow(&host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    start->setFocus(Qt::OtherFocusReason);

    struct Row {
        const char* name;
        QWidget* control;
    };
    for (const Row& row : {Row{"scan button", scan->button()}, Row{"search field", search},
                           Row{"check box", check}}) {
        SCOPED_TRACE(row.name);
        ASSERT_NE(row.control, nullptr);
        // A ring along the edge, not only a text cursor somewhere inside.
        const QPoint edge(1, row.control->height() / 2);
        const QColor unfocused = row.control->grab().toImage().pixelColor(edge);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(row.control->hasFocus()) << "Tab does not reach it";
        EXPECT_NE(row.control->grab().toImage().pixelColor(edge), unfocused) << "no visible focus";
    }
    QTest::keyClick(check, Qt::Key_Space);
    EXPECT_EQ(toggles, 1);
}

}  // namespace
}  // namespace tarnwick
