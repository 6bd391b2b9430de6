#include "OSLog/OSLog.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using testing::TemporaryDirectory;

// Reads the journal's native fields, the binary form of a value with a line break included.
std::map<std::string, std::string> fieldsOf(const std::string& datagram) {
    std::map<std::string, std::string> fields;
    std::size_t at = 0;
    while (at < datagram.size()) {
        const auto end = datagram.find('\n', at);
        const auto equals = datagram.find('=', at);
        if (equals < end) {
            fields[datagram.substr(at, equals - at)] =
                datagram.substr(equals + 1, end - equals - 1);
            at = end + 1;
            continue;
        }
        const auto name = datagram.substr(at, end - at);
        std::uint64_t length = 0;
        for (int byte = 7; byte >= 0; --byte) {
            length = (length << 8) | static_cast<unsigned char>(datagram[end + 1 + byte]);
        }
        fields[name] = datagram.substr(end + 9, length);
        at = end + 9 + length + 1;
    }
    return fields;
}

class JournalSocket {
public:
    explicit JournalSocket(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_DGRAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, path.size());
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    }
    ~JournalSocket() { ::close(m_fd); }
    std::optional<std::string> receive() {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 2000) != 1) {
            return std::nullopt;
        }
        std::string buffer(1 << 17, '\0');
        const auto got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return buffer;
    }

private:
    int m_fd;
};

TEST(OSLogDestination, WritesToTheJournalElseToStandardError) {
    TemporaryDirectory folder;
    const auto socketPath = (folder / "journal.socket").string();
    auto journal = std::make_unique<JournalSocket>(socketPath);
    OSLog::setDestination(OSLogDestination::journal, socketPath);

    const OSLog link("com.brenlow-works.corvid", "filter");
    link.log(OSLogType::error, "100% %s done\nsecond line");
    osLog("plain");
    const auto first = journal->receive();
    const auto second = journal->receive();
    ASSERT_TRUE(first && second);
    const auto fields = fieldsOf(*first);
    EXPECT_EQ(fields.at("MESSAGE"), "[com.brenlow-works.corvid:filter] 100% %s done\nsecond line");
    EXPECT_EQ(fields.at("PRIORITY"), "3");
    EXPECT_EQ(fields.at("SYSLOG_IDENTIFIER"), program_invocation_short_name);
    EXPECT_EQ(fieldsOf(*second).at("MESSAGE"), "plain");
    EXPECT_EQ(fieldsOf(*second).at("PRIORITY"), "5");

    // No journal: the line goes to standard error.
    journal.reset();
    ::unlink(socketPath.c_str());
    const auto errorFile = folder / "stderr";
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, STDERR_FILENO);
    ::unsetenv("JOURNAL_STREAM");
    link.log(OSLogType::fault, "no journal here");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);
    OSLog::setDestination(OSLogDestination::syslog);
    EXPECT_EQ(testing::readFile(errorFile),
              std::string(program_invocation_short_name) +
                  ": [com.brenlow-works.corvid:filter] no journal here\n");
}

}  // namespace
}  // namespace tarnwick
