// The program as a user starts it, on a real X desktop (Xvfb with openbox, see with-desktop):
// what the window manager sees of its window, and what a second start does.

#include "Foundation/Process.h"
#include "support/TemporaryDirectory.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;

std::string run(const std::vector<std::string>& arguments) {
    ProcessRequest request;
    request.arguments = arguments;
    const auto outcome = Process::run(request);
    return outcome && outcome->succeeded() ? outcome->standardOutput : std::string();
}

std::string trimmedLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// The program's visible windows, by the class every one of its windows carries.
std::vector<std::string> programWindows() {
    std::istringstream lines(run({"xdotool", "search", "--onlyvisible", "--class", "^Tarnwick$"}));
    std::vector<std::string> windows;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            windows.push_back(line);
        }
    }
    return windows;
}

std::string activeWindow() {
    return trimmedLine(run({"xdotool", "getactivewindow"}));
}

// The window the window manager stacks above all its others.
std::string topWindow() {
    const std::string stacking = trimmedLine(run({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"}));
    const auto last = stacking.find_last_of(" ,");
    return last == std::string::npos
               ? std::string()
               : std::to_string(std::stoul(stacking.substr(last + 1), nullptr, 16));
}

class Program {
public:
    explicit Program(const TemporaryDirectory& home) {
        // Under another name than the build gives it, as a packaged link or a renamed copy is.
        m_link = home / "tarnwick-renamed";
        if (!std::filesystem::exists(m_link)) {
            std::filesystem::create_symlink(TARNWICK_EXECUTABLE, m_link);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString root = QString::fromStdString(home.path().string());
        environment.insert(QStringLiteral("HOME"), root);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/.cache"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        ::mkdir((home / "run").c_str(), 0700);
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(QString::fromStdString(m_link.string()));
        m_process.start();
    }
    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(20000)) {
                m_process.kill();
                m_process.waitForFinished(20000);
            }
        }
    }
    QProcess& process() { return m_process; }

private:
    std::filesystem::path m_link;
    QProcess m_process;
};

TEST(ApplicationOnADesktop, ASecondStartRaisesTheOneWindowWithTheDesktopEntrysClass) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb") ||
        std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X desktop";
    }
    TemporaryDirectory home;
    Program first(home);
    ASSERT_TRUE(QTest::qWaitFor([] { return programWindows().size() == 1; }, 60000))
        << "the first start shows no window";
    const std::string window = programWindows().front();
    // The desktop entry says StartupWMClass=Tarnwick, whatever the program file is called.
    EXPECT_EQ(trimmedLine(run({"xprop", "-id", window, "WM_CLASS"})),
              "WM_CLASS(STRING) = \"tarnwick\", \"Tarnwick\"");

    // Another window comes over it and has the focus.
    QWidget cover;
    cover.setWindowTitle(QStringLiteral("cover"));
    cover.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    cover.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
    const std::string coverId = std::to_string(cover.winId());
    run({"xdotool", "windowactivate", "--sync", coverId});
    ASSERT_TRUE(QTest::qWaitFor([&] { return activeWindow() == coverId; }, 10000));

    const auto startAgain = [&home] {
        Program second(home);
        EXPECT_TRUE(second.process().waitForFinished(60000)) << "the second start goes on";
        EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.process().exitCode(), 0)
            << second.process().readAllStandardError().toStdString();
    };
    startAgain();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return activeWindow() == window && topWindow() == window; }, 20000))
        << "active " << activeWindow() << ", top " << topWindow() << ", program's " << window;
    EXPECT_EQ(programWindows(), std::vector<std::string>{window}) << "one window, not two";

    // Minimised, it comes back out of the task bar.
    run({"xdotool", "windowminimize", "--sync", window});
    ASSERT_TRUE(QTest::qWaitFor([] { return programWindows().empty(); }, 10000));
    startAgain();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return programWindows() == std::vector<std::string>{window} && activeWindow() == window;
        },
        20000));

    const QString folder = QStringLiteral(TARNWICK_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(
        folder + QStringLiteral("/second-start-raises-the-window.png")));

    // Nothing on the terminal in normal use: what matters goes to the log.
    EXPECT_EQ(first.process().readAllStandardOutput().toStdString(), "");
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

}  // namespace
}  // namespace tarnwick
