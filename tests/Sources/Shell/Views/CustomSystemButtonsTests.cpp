#include "Shell/Views/Main/CustomSystemButtons.h"

#include <QApplication>
#include <QEnterEvent>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(CustomSystemButtonsTest, HoverOnAnyButtonShowsAllGlyphsAndMovingAcrossKeepsThem) {
    CustomSystemButtons row;
    row.show();
    QEvent leave(QEvent::Leave);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(row.closeButton(), &enter);
    EXPECT_TRUE(row.isHovered());
    QApplication::sendEvent(row.closeButton(), &leave);
    QApplication::sendEvent(row.minimiseButton(), &enter);
    EXPECT_TRUE(row.isHovered());
    QApplication::sendEvent(row.minimiseButton(), &leave);
    EXPECT_FALSE(row.isHovered());
}

}  // namespace
}  // namespace tarnwick
