#include "Dispatch/DispatchQueue.h"
#include "Screens/AppMonitor/PUApplication.h"
#include "Screens/AppMonitor/Views/AppMonitorCellView.h"
#include "Screens/AppMonitor/Views/AppMonitorView.h"
#include "Screens/AppMonitor/Views/ApplicationIcon.h"
#include "Screens/AppMonitor/Views/FileManagerReveal.h"
#include "Workspace/Workspace.h"
#include "support/BundleFixture.h"
#include "support/PrivateBus.h"
#include "support/TemporaryDirectory.h"

#include <QBuffer>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

QByteArray png(Qt::GlobalColor colour) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void writeFile(const std::filesystem::path& path, const QByteArray& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
}

// An icon family with one PNG rendition.
QByteArray icns(const QByteArray& image) {
    const auto bigEndian = [](quint32 value) {
        QByteArray bytes(4, '\0');
        for (int index = 0; index < 4; ++index) {
            bytes[index] = char((value >> (24 - 8 * index)) & 0xff);
        }
        return bytes;
    };
    const QByteArray chunk = "ic07" + bigEndian(quint32(8 + image.size())) + image;
    return "icns" + bigEndian(quint32(8 + chunk.size())) + chunk;
}

QColor centre(const QIcon& icon) {
    const QImage image = icon.pixmap(QSize(32, 32)).toImage();
    return image.isNull() ? QColor() : QColor(image.pixel(16, 16));
}

TEST(ApplicationIconTest, TheScannedIconTheBundlesTheEntrysOrTheGenericOne) {
    TemporaryDirectory home;
    const auto root = home.path();
    // A bundle whose own .icns is what the row shows.
    BundleFixture bundle;
    bundle.name = "Blue.app";
    bundle.info = {{"CFBundleIdentifier", "com.blue"}, {"CFBundleIconFile", "AppIcon"}};
    const auto blueBundle = writeBundle(root / "Elsewhere", bundle);
    writeFile(blueBundle / "Contents/Resources/AppIcon.icns", icns(png(Qt::blue)));
    // Desktop entries: an image file, a theme name, a FIFO, and no Icon key.
    writeFile(root / "green.png", png(Qt::green));
    const auto entry = [&](const std::string& name, const std::string& icon) {
        const auto path = root / (name + ".desktop");
        std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << name
                            << "\nExec=/bin/true\n"
                            << (icon.empty() ? "" : "Icon=" + icon + "\n");
        return path;
    };
    // An icon theme of the test's own that holds one icon.
    writeFile(root / "icons/test/index.theme",
              "[Icon Theme]\nName=test\nDirectories=32x32/apps\n\n[32x32/apps]\nSize=32\n");
    writeFile(root / "icons/test/32x32/apps/tarnwick-test-yellow.png", png(Qt::yellow));
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    ASSERT_EQ(::mkfifo((root / "fifo.png").c_str(), 0600), 0);

    struct Case {
        const char* name;
        std::optional<std::filesystem::path> location;
        std::optional<QByteArray> scannedIcon;
        QColor expected;  // invalid: the generic icon
    };
    const Case cases[] = {
        {"the scan's icon", std::nullopt, png(Qt::red), QColor(Qt::red)},
        {"the scanned bundle's icns", blueBundle, std::nullopt, QColor(Qt::blue)},
        {"an entry's image file", entry("Green", (root / "green.png").string()), std::nullopt,
         QColor(Qt::green)},
        {"an entry's theme name", entry("Yellow", "tarnwick-test-yellow"), std::nullopt,
         QColor(Qt::yellow)},
        {"an entry naming a FIFO", entry("Fifo", (root / "fifo.png").string()), std::nullopt,
         QColor()},
        {"an entry without an icon", entry("Plain", ""), std::nullopt, QColor()},
        {"nothing at all", root / "Missing.app", std::nullopt, QColor()},
    };
    Workspace workspace(Workspace::Configuration{});
    const QImage generic = ApplicationIcon::generic().pixmap(QSize(32, 32)).toImage();
    QIcon::setThemeSearchPaths({QString::fromStdString((root / "icons").string())});
    QIcon::setThemeName(QStringLiteral("test"));
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::optional<IconImage> scanned;
        if (row.scannedIcon) {
            scanned = IconImage{{row.scannedIcon->begin(), row.scannedIcon->end()}, 32, 32};
        }
        const PUApplication application("App", row.location, "com.example", std::nullopt, {},
                                        std::nullopt, std::nullopt,
                                        [&](const std::string&) { return scanned; });
        const QIcon icon = ApplicationIcon::of(application, workspace);
        if (row.expected.isValid()) {
            EXPECT_EQ(centre(icon), row.expected);
        } else {
            EXPECT_EQ(icon.pixmap(QSize(32, 32)).toImage(), generic);
        }
    }
    QIcon::setThemeName(themeName);
    QIcon::setThemeSearchPaths(searchPaths);
}

// Sets an environment variable for one test.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(ApplicationIconTest, AThemeIconThatIsAFifoNeitherFreezesTheWindowNorShows) {
    TemporaryDirectory home;
    const auto share = home.path() / "share";
    const ScopedEnvironment dataHome("XDG_DATA_HOME", share.string());
    const ScopedEnvironment dataDirs("XDG_DATA_DIRS", (home.path() / "none").string());
    writeFile(share / "icons/hicolor/index.theme",
              "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
              "[48x48/apps]\nSize=48\nType=Threshold\n");
    const auto fifo = share / "icons/hicolor/48x48/apps/org.example.Fifo.png";
    std::filesystem::create_directories(fifo.parent_path());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto entry = home.path() / "org.example.Fifo.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Fifo\nExec=/bin/true\n"
                            "Icon=org.example.Fifo\n";
    // Where Qt itself would look for that name.
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    QIcon::setThemeSearchPaths({QString::fromStdString((share / "icons").string())});
    QIcon::setThemeName(QStringLiteral("hicolor"));

    // Should the window's thread wait on the FIFO after all, a writer comes after ten seconds and
    // lets it go, so that the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::atomic<bool> frozen{false};
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done) {
            if (std::chrono::steady_clock::now() > deadline) {
                const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (writer >= 0) {  // a reader is waiting on the other end
                    frozen = true;
                    ::close(writer);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto application = std::make_shared<PUApplication>(
        "Fifo", entry, "org.example.Fifo", std::nullopt, std::vector<DetectionReason>{},
        std::nullopt, std::nullopt, [](const std::string&) { return std::optional<IconImage>(); });
    QWidget window;
    auto* cell = new AppMonitorCellView(
        application, [](const auto&) {}, [](const auto&) {}, &window);
    window.resize(600, 120);
    window.show();
    bool ticked = false;
    QTimer::singleShot(0, &window, [&] { ticked = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticked; }, 20000));
    const QImage shown = cell->iconLabel()->pixmap().toImage();
    const QImage popUpIcon = ApplicationIcon::of(*application).pixmap(QSize(32, 32)).toImage();
    done = true;
    watchdog.join();
    EXPECT_FALSE(frozen) << "the window's thread waited on the FIFO";
    EXPECT_EQ(popUpIcon, ApplicationIcon::generic().pixmap(QSize(32, 32)).toImage());
    EXPECT_FALSE(shown.isNull());
    QIcon::setThemeName(themeName);
    QIcon::setThemeSearchPaths(searchPaths);
}

// A file manager on the test's bus that records what it was asked to show.
class FakeFileManager final : public QDBusVirtualObject {
public:
    QStringList shown;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QStringLiteral("ShowItems")) {
            return false;
        }
        shown += message.arguments().value(0).toStringList();
        connection.send(message.createReply());
        return true;
    }
};

class FileManagerRevealTest : public PrivateBusTest {
protected:
    // The folder opener ends with `exitStatus`, or runs on when there is none.
    FileManagerReveal reveal(std::optional<int> exitStatus = 0) {
        return FileManagerReveal(
            m_client,
            [this, exitStatus](const std::vector<std::string>& arguments,
                               std::function<void(int)> onEnded) {
                launched.push_back(arguments);
                if (exitStatus) {
                    onEnded(*exitStatus);
                }
                return true;
            },
            std::chrono::milliseconds(300));
    }
    FileManagerReveal::Outcome show(const std::filesystem::path& item,
                                    std::optional<int> exitStatus = 0) {
        std::optional<FileManagerReveal::Outcome> outcome;
        reveal(exitStatus).show(item, [&](FileManagerReveal::Outcome result) { outcome = result; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 10000));
        return outcome.value_or(FileManagerReveal::Outcome::failed);
    }

    TemporaryDirectory m_folder;
    std::vector<std::vector<std::string>> launched;
};

TEST_F(FileManagerRevealTest, TheFileManagerShowsTheItemOverTheBus) {
    FakeFileManager manager;
    QDBusConnection service = serviceConnection();
    ASSERT_TRUE(
        service.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    const auto item = m_folder.path() / "Odd name #1.app";
    std::filesystem::create_directories(item);
    EXPECT_EQ(show(item), FileManagerReveal::Outcome::shownByFileManager);
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(QString::fromStdString(item.string()))
                                             .toString(QUrl::FullyEncoded)});
    EXPECT_TRUE(launched.empty());
}

TEST_F(FileManagerRevealTest, WithoutAFileManagerTheFolderOpenerDecides) {
    const auto item = m_folder.path() / "Tool.app";
    std::filesystem::create_directories(item);
    const struct {
        const char* name;
        std::optional<int> exitStatus;
        FileManagerReveal::Outcome expected;
    } cases[] = {
        {"opened", 0, FileManagerReveal::Outcome::folderOpened},
        {"nothing to open a folder with", 3, FileManagerReveal::Outcome::failed},
        {"still running a file manager", std::nullopt, FileManagerReveal::Outcome::folderOpened},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        launched.clear();
        EXPECT_EQ(show(item, row.exitStatus), row.expected);
        EXPECT_EQ(launched,
                  (std::vector<std::vector<std::string>>{{"xdg-open", m_folder.path().string()}}));
    }
    launched.clear();
    EXPECT_EQ(show(m_folder.path() / "Gone.app"), FileManagerReveal::Outcome::missing);
    EXPECT_TRUE(launched.empty());
}

// The row's button gives no other sign: where nothing could show the application, a message over
// the window says so and where it is.
TEST_F(FileManagerRevealTest, ANoteSaysWhenNothingCouldShowTheApplication) {
    const auto item = m_folder.path() / "Tool.app";
    std::filesystem::create_directories(item);
    const auto application = [](std::filesystem::path bundle) {
        return PUApplication("Tool <b>", std::move(bundle), "org.example.Tool", std::nullopt,
                             std::vector<DetectionReason>{}, std::nullopt, std::nullopt,
                             [](const std::string&) { return std::optional<IconImage>(); });
    };
    QWidget window;
    window.resize(400, 300);
    window.show();
    const auto message = [&window] {
        return window.findChild<QMessageBox*>(QStringLiteral("showInFileManagerMessage"));
    };

    AppMonitorView::revealInFileManager(application(item), &window, reveal(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return launched.size() == 1; }, 10000));
    // The opener's answer is on the main queue already: once a later block has run, it has too.
    bool drained = false;
    DispatchQueue::main()->async([&drained] { drained = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return drained; }, 10000));
    EXPECT_EQ(message(), nullptr);

    AppMonitorView::revealInFileManager(application(item), &window, reveal(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return message() && message()->isVisible(); }, 10000));
    EXPECT_EQ(message()->textFormat(), Qt::PlainText);
    EXPECT_EQ(message()->text(),
              QStringLiteral("No file manager could show \u201cTool <b>\u201d."));
    EXPECT_EQ(message()->informativeText(),
              QStringLiteral("It is in ") + QString::fromStdString(m_folder.path().string()));
    const auto* informative =
        message()->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    ASSERT_NE(informative, nullptr);
    EXPECT_EQ(informative->textFormat(), Qt::PlainText);
    message()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return message() == nullptr; }, 10000));

    AppMonitorView::revealInFileManager(application(m_folder.path() / "Gone.app"), &window,
                                        reveal(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return message() && message()->isVisible(); }, 10000));
    EXPECT_EQ(message()->text(),
              QStringLiteral("\u201cTool <b>\u201d is no longer where the scan found it."));
}

}  // namespace
}  // namespace tarnwick
