#pragma once

// Qt tests only: a D-Bus bus of the test's own.

#include "support/TemporaryDirectory.h"

#include <QDBusConnection>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tarnwick::testing {

// A bus of the test's own: a dbus-daemon on a socket in a temporary folder.
class PrivateBus {
public:
    PrivateBus() {
        const std::string address = "unix:path=" + (m_folder.path() / "bus").string();
        const std::string addressOption = "--address=" + address;
        const char* arguments[] = {"dbus-daemon", "--session",           "--nofork",
                                   "--nopidfile", addressOption.c_str(), nullptr};
        if (posix_spawnp(&m_pid, "dbus-daemon", nullptr, nullptr,
                         const_cast<char* const*>(arguments), environ) != 0) {
            m_pid = -1;
            return;
        }
        const auto socket = m_folder.path() / "bus";
        (void)QTest::qWaitFor([&] { return std::filesystem::exists(socket); },
                              10000);  // checked by connecting
        m_address = QString::fromStdString(address);
    }
    ~PrivateBus() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    TemporaryDirectory m_folder;
    pid_t m_pid = -1;
    QString m_address;
};

// A test on a private bus: `m_client` is the connection the code under test uses, and
// `serviceConnection()` the one a fake service registers on.
class PrivateBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_client = m_bus.connect(QStringLiteral("client"));
        ASSERT_TRUE(m_client.isConnected()) << "no dbus-daemon";
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }
    QDBusConnection serviceConnection() const { return m_bus.connect(QStringLiteral("service")); }

    PrivateBus m_bus;
    QDBusConnection m_client{QString()};
};

}  // namespace tarnwick::testing
