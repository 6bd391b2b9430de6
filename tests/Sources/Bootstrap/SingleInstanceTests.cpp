#include "Bootstrap/SingleInstance.h"
#include "support/TemporaryDirectory.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::TemporaryDirectory;
using Role = SingleInstance::Role;

// A later start claims from its own thread while this one's event loop serves the first.
Role claimAside(const std::filesystem::path& folder, std::chrono::milliseconds limit) {
    auto later = std::async(std::launch::async,
                            [folder, limit] { return SingleInstance(folder).claim(limit); });
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return later.wait_for(0s) == std::future_status::ready; }, 60000));
    return later.get();
}

// A socket connected to `path`, or one only bound there and left behind, as a crashed instance
// leaves its socket.
int unixSocket(const std::filesystem::path& path, bool connectToIt) {
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    EXPECT_EQ(connectToIt ? ::connect(descriptor, raw, sizeof(address))
                          : ::bind(descriptor, raw, sizeof(address)),
              0)
        << std::strerror(errno);
    return descriptor;
}

TEST(SingleInstance, ALaterStartAsksTheFirstForItsWindowAndEnds) {
    TemporaryDirectory runtime;
    const auto folder = runtime / "tarnwick";
    SingleInstance first(folder);
    ASSERT_EQ(first.claim(1s), Role::first);
    int activations = 0;
    ASSERT_TRUE(first.listen([&] { ++activations; }));
    struct stat status {};
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    for (int start = 1; start <= 2; ++start) {
        EXPECT_EQ(claimAside(folder, 10s), Role::forwarded);
        EXPECT_TRUE(QTest::qWaitFor([&] { return activations == start; }, 10000));
    }

    // Anything but the request is dropped unanswered.
    const int stranger = unixSocket(first.socketPath(), true);
    ASSERT_EQ(::write(stranger, "raise\n", 6), 6);
    char answer[8];
    ssize_t count = -1;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (count = ::recv(stranger, answer, sizeof(answer), MSG_DONTWAIT)) >= 0; },
        10000));
    EXPECT_EQ(count, 0) << "closed without an answer";
    ::close(stranger);
    EXPECT_EQ(activations, 2);
}

TEST(SingleInstance, AStartingInstanceIsAskedUntilItListensOrTheLimitPasses) {
    TemporaryDirectory runtime;
    const auto folder = runtime / "tarnwick";
    SingleInstance first(folder);
    ASSERT_EQ(first.claim(1s), Role::first);
    EXPECT_EQ(claimAside(folder, 300ms), Role::unanswered);

    int activations = 0;
    auto later =
        std::async(std::launch::async, [folder] { return SingleInstance(folder).claim(60s); });
    ASSERT_TRUE(first.listen([&] { ++activations; }));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return later.wait_for(0s) == std::future_status::ready; }, 60000));
    EXPECT_EQ(later.get(), Role::forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return activations == 1; }, 10000));
}

TEST(SingleInstance, WhatACrashedInstanceLeftDoesNotBlockTheNextStart) {
    TemporaryDirectory runtime;
    const auto folder = runtime / "tarnwick";
    {
        SingleInstance crashed(folder);
        ASSERT_EQ(crashed.claim(1s), Role::first);
    }
    ::close(unixSocket(folder / "instance.socket", false));
    ASSERT_TRUE(std::filesystem::exists(folder / "instance.lock"));

    SingleInstance next(folder);
    ASSERT_EQ(next.claim(1s), Role::first);
    int activations = 0;
    ASSERT_TRUE(next.listen([&] { ++activations; }));
    EXPECT_EQ(claimAside(folder, 10s), Role::forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return activations == 1; }, 10000));
}

TEST(SingleInstance, AFolderThatIsNotThisUsersOwnIsNotUsed) {
    TemporaryDirectory runtime;
    std::filesystem::create_directory(runtime / "real");
    std::filesystem::create_directory_symlink(runtime / "real", runtime / "link");
    std::filesystem::create_directory(runtime / "open");
    std::filesystem::permissions(runtime / "open", std::filesystem::perms::all);
    for (const char* name : {"link", "open"}) {
        SCOPED_TRACE(name);
        SingleInstance first(runtime / name);
        SingleInstance second(runtime / name);
        // Both run, unguarded, and neither listens where another user could.
        EXPECT_EQ(first.claim(1s), Role::first);
        EXPECT_EQ(second.claim(1s), Role::first);
        EXPECT_FALSE(first.listen([] {}));
        EXPECT_FALSE(std::filesystem::exists(runtime / name / "instance.socket"));
    }
}

}  // namespace
}  // namespace tarnwick
