#include "WidgetKit/InterfaceText.h"
#include "WidgetKit/NamedColor.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"
#include "WidgetKit/TextStyle.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPalette>

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using namespace Qt::StringLiterals;
namespace IT = InterfaceText;

// Every colour a view names, including those looked up by name alone.
std::vector<std::string_view> everyColourName() {
    std::vector<std::string_view> names;
    for (const NamedColor& color : NamedColor::all()) {
        names.push_back(color.name);
    }
    for (std::string_view name : {"sheetBackgroundColor", "windowDimmingColor",
                                  "dynamicInvertedColor", "dynamicInverted75AlphaColor"}) {
        names.push_back(name);
    }
    return names;
}

TEST(NamedColorTest, EveryNamedColourResolvesInBothAppearances) {
    const auto names = everyColourName();
    EXPECT_EQ(names.size(), 28u);
    for (std::string_view name : names) {
        SCOPED_TRACE(std::string(name));
        const auto values = namedColorValues(name);
        ASSERT_TRUE(values) << values.error();
        EXPECT_NE(values->light >> 24, 0u) << "light value is fully transparent";
        EXPECT_NE(values->dark >> 24, 0u) << "dark value is fully transparent";
    }
}

TEST(NamedColorTest, MissingNameIsAnErrorNamingIt) {
    const auto values = namedColorValues("sideBarHovr");
    ASSERT_FALSE(values);
    EXPECT_NE(values.error().find("sideBarHovr"), std::string::npos);
}

TEST(AppearanceTest, DarkPaletteSelectsTheDarkValues) {
    const QPalette original = QApplication::palette();
    const auto values = namedColorValues("windowBackgroundColor").value();

    QPalette light;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    QApplication::setPalette(light);
    EXPECT_FALSE(Appearance::isDark());
    EXPECT_EQ(Appearance::color(NamedColor::windowBackgroundColor()).rgba(), values.light);

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    QApplication::setPalette(dark);
    EXPECT_TRUE(Appearance::isDark());
    EXPECT_EQ(Appearance::color(NamedColor::windowBackgroundColor()).rgba(), values.dark);

    QApplication::setPalette(original);
}

TEST(TextStyleTest, TheScaleHoldsItsFacesAndSizes) {
    for (int style : {11, 19, 20, 21, 22, 25, 26, 27, 28, 29}) {
        const TextStyleFont font = textStyleFont(TextStyle(style));
        EXPECT_EQ(font.face, typefaceFace::regular) << style;
        EXPECT_EQ(font.pointSize, 28) << style;
    }
    int lightAt29 = 0, bold = 0;
    for (std::size_t style = 0; style < textStyleCount; ++style) {
        const TextStyleFont font = textStyleFont(TextStyle(style));
        lightAt29 += font.face == typefaceFace::light && font.pointSize == 29;
        bold += font.face == typefaceFace::bold;
    }
    EXPECT_EQ(lightAt29, 1);
    EXPECT_EQ(bold, 1);
    EXPECT_EQ(textStyleFont(TextStyle::style23).face, typefaceFace::light);
    EXPECT_EQ(textStyleFont(TextStyle::style0).pointSize, 25);
    EXPECT_EQ(textStyleFont(TextStyle::style15).face, typefaceFace::semiBold);
}

TEST(TypefaceTest, EveryFaceMapsToAnInstalledDisplayFont) {
    for (std::string_view face : typefaceFace::all) {
        SCOPED_TRACE(std::string(face));
        EXPECT_TRUE(Typeface::hasFace(face));
    }
    const QFont bold = Typeface::font(TextStyle::style0);
    EXPECT_EQ(bold.weight(), QFont::Bold);
    EXPECT_EQ(bold.pixelSize(), 25);
    EXPECT_TRUE(bold.family().contains(u"Inter"_s)) << bold.family().toStdString();
    EXPECT_EQ(Typeface::font(typefaceFace::light, 12).weight(), QFont::Light);
}

TEST(ImageAssetTest, EveryImageSymbolAndFrameNameResolves) {
    const std::vector<std::string_view> names = {
        IT::copiedSymbol, IT::copySymbol, IT::closeSymbol, IT::minimiseSymbol, IT::fullScreenSymbol,
        IT::applicationRowTrashSymbol, IT::listRowTrashSymbol, IT::connectionRowChevronSymbol,
        IT::listRowArrowLeftSymbol, IT::listRowArrowRightSymbol, IT::noNetworkSymbol,
        IT::makerLogoImage, IT::sideBarAppMonitorImage, IT::sideBarSettingsImage,
        IT::sideBarSecondMascotImage, IT::checkMarkImage, IT::mapCircleImage, IT::scanImage,
        IT::rescanImage, IT::stopImage, IT::welcome1, IT::initialMascotFrame, IT::welcome2,
        IT::welcome3, IT::idle1, IT::restingMascotFrame, IT::idle2, IT::idle3, IT::suspicious1,
        IT::suspicious2, IT::found, IT::happy, IT::wumbleIdle1, IT::initialWumbleFrame,
        IT::wumbleIdle2, IT::wumbleIdle3, IT::wumbleIdle4, IT::wumbleIdle5,
        // Named by the side bar, the promotion and the application icon view.
        "ConnectionsMonitor", "iOSScreenshot", "close", "AppIcon"};
    for (std::string_view name : names) {
        SCOPED_TRACE(std::string(name));
        ASSERT_TRUE(ImageAsset::exists(name));
        EXPECT_FALSE(ImageAsset::naturalSize(name).isEmpty());
        const QImage image = ImageAsset::pixmap(name, QSize(32, 32)).toImage();
        ASSERT_FALSE(image.isNull());
        bool painted = false;
        for (int y = 0; y < image.height() && !painted; ++y) {
            for (int x = 0; x < image.width() && !painted; ++x) {
                painted = qAlpha(image.pixel(x, y)) != 0;
            }
        }
        EXPECT_TRUE(painted) << "renders nothing";
    }
    EXPECT_FALSE(ImageAsset::exists("NoSuchImage"));
    EXPECT_TRUE(ImageAsset::pixmap("NoSuchImage", QSize(8, 8)).isNull());
}

TEST(ImageAssetTest, TemplatesTakeTheGivenColour) {
    const QImage image = ImageAsset::tinted("stop", QSize(24, 24), QColor(255, 0, 0)).toImage();
    const QRgb centre = image.pixel(12, 12);
    EXPECT_EQ(qRed(centre), 255);
    EXPECT_EQ(qGreen(centre), 0);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
}

// A sheet of every drawn image, saved for review.
TEST(ImageAssetTest, SavesAContactSheet) {
    const QStringList folders = {u":/Images"_s, u":/Symbols"_s};
    QStringList names;
    for (const QString& folder : folders) {
        for (const QString& file : QDir(folder).entryList({u"*.svg"_s})) {
            names << file.chopped(4);
        }
    }
    ASSERT_GT(names.size(), 30);
    const int cell = 110, columns = 8;
    QImage sheet(columns * cell, ((names.size() + columns - 1) / columns) * cell,
                 QImage::Format_ARGB32);
    sheet.fill(QColor(0xF7, 0xF8, 0xFB));
    QPainter painter(&sheet);
    for (int i = 0; i < names.size(); ++i) {
        const QPoint origin((i % columns) * cell, (i / columns) * cell);
        const QString name = names[i];
        const QSize natural = ImageAsset::naturalSize(name.toStdString());
        const QSize size = natural.scaled(QSize(80, 80), Qt::KeepAspectRatio);
        painter.drawPixmap(origin + QPoint((cell - size.width()) / 2, 4),
                           ImageAsset::pixmap(name.toStdString(), size));
        painter.drawText(QRect(origin + QPoint(0, 88), QSize(cell, 20)), Qt::AlignCenter, name);
    }
    painter.end();
    QDir().mkpath(QStringLiteral(TARNWICK_SCREENSHOT_DIR));
    EXPECT_TRUE(sheet.save(QStringLiteral(TARNWICK_SCREENSHOT_DIR "/assets.png")));
}

}  // namespace
}  // namespace tarnwick
