#include "Screens/ConnectionsMonitor/Views/ProgramIcon.h"
#include "support/TemporaryDirectory.h"

#include <QBuffer>
#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {
namespace {

QByteArray png(Qt::GlobalColor color) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A program without a bundle is drawn with the icon its bundle identifier names in the theme. Any
// program of the user can plant a FIFO under a theme folder in that name: the row then shows the
// command-line picture, and the window's thread never waits on the FIFO.
TEST(ProgramIcon, AThemeIconIsReadAndAFIFOInItsPlaceIsPassedOver) {
    testing::TemporaryDirectory root;
    const auto apps = root.path() / "icons/test/32x32/apps";
    std::filesystem::create_directories(apps);
    std::ofstream(root.path() / "icons/test/index.theme")
        << "[Icon Theme]\nName=test\nDirectories=32x32/apps\n\n[32x32/apps]\nSize=32\n";
    const QByteArray yellow = png(Qt::yellow);
    std::ofstream(apps / "org.example.Yellow.png", std::ios::binary)
        .write(yellow.constData(), yellow.size());
    const auto fifo = apps / "org.example.Fifo.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    QIcon::setThemeSearchPaths({QString::fromStdString((root.path() / "icons").string())});
    QIcon::setThemeName(QStringLiteral("test"));

    const QImage themed = programIconPixmap("org.example.Yellow", 32, 1.0).toImage();
    ASSERT_FALSE(themed.isNull());
    EXPECT_EQ(QColor(themed.pixel(16, 16)), QColor(Qt::yellow));

    // Should the FIFO be opened the blocking way, a writer lets the test end with a failure
    // instead of hanging it.
    std::atomic<bool> done = false;
    std::atomic<bool> unblocked = false;
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!done) {
            unblocked = true;
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
        }
    });
    const QPixmap planted = programIconPixmap("org.example.Fifo", 32, 1.0);
    done = true;
    watchdog.join();
    EXPECT_FALSE(unblocked) << "the window's thread waited on the FIFO";
    EXPECT_FALSE(planted.isNull()) << "the command-line picture stands in";

    QIcon::setThemeName(themeName);
    QIcon::setThemeSearchPaths(searchPaths);
}

}  // namespace
}  // namespace tarnwick
