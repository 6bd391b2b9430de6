#include "Logging/FileDestination.h"
#include "LoggingTestSupport.h"
#include "support/TemporaryDirectory.h"

#include <nlohmann/json.hpp>

namespace tarnwick {
namespace {

using testing::LogHubTest;
using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

StandardDirectories homeAt(const std::filesystem::path& home) {
    return StandardDirectories([home](const std::string& name) -> std::optional<std::string> {
        if (name == "HOME") {
            return home.string();
        }
        return std::nullopt;
    });
}

class FileDestinationTest : public LogHubTest {
protected:
    std::shared_ptr<FileDestination> make(const std::filesystem::path& file) {
        auto destination = std::make_shared<FileDestination>(file, homeAt(m_folder.path()));
        destination->setFormat("$L $M");
        return destination;
    }

    TemporaryDirectory m_folder;
};

TEST_F(FileDestinationTest, WritesExactLinesAndCreatesFoldersWithTheFirstEntry) {
    const auto file = m_folder / "a" / "b" / "x.log";
    auto destination = make(file);
    EXPECT_FALSE(std::filesystem::exists(m_folder / "a"));
    LogHub::addDestination(destination);

    LogHub::info("first  ");
    LogHub::error("zweite Zeile ✓");
    ASSERT_TRUE(LogHub::flush(5));
    EXPECT_EQ(readFile(file), "INFO first\nERROR zweite Zeile ✓\n");

    // A file removed by someone else is created afresh; an empty rendering is an empty line.
    std::filesystem::remove(file);
    destination->setFormat("$X");
    LogHub::info("ignored");
    ASSERT_TRUE(LogHub::flush(5));
    EXPECT_EQ(readFile(file), "\n");
}

TEST_F(FileDestinationTest, WithoutAFileItWritesLoghubLogInTheExecutablesCacheFolder) {
    auto destination = std::make_shared<FileDestination>(std::nullopt, homeAt(m_folder.path()));
    const auto folder = m_folder / ".cache" / "logging_tests";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(destination->logFileURL(), folder / "loghub.log");

    auto homeless = std::make_shared<FileDestination>(
        std::nullopt, StandardDirectories([](const std::string&) { return std::nullopt; }));
    EXPECT_EQ(homeless->logFileURL(), std::nullopt);
    EXPECT_FALSE(homeless->validateSaveFile("nowhere"));
}

TEST_F(FileDestinationTest, SingleFileAmountNeverRotates) {
    const auto file = m_folder / "x.log";
    auto destination = make(file);
    destination->setLogFileMaxSize(10);
    writeFile(file, std::string(100, '.'));
    EXPECT_TRUE(destination->validateSaveFile("more"));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "x.log.1"));
    EXPECT_EQ(readFile(file).size(), 105u);
}

TEST_F(FileDestinationTest, RotatesOnlyWhenTheFileExceedsTheMaximum) {
    const auto file = m_folder / "x.log";
    auto destination = make(file);
    destination->setLogFileMaxSize(10);
    destination->setLogFileAmount(3);

    writeFile(file, std::string(10, 'a'));
    destination->validateSaveFile("at the limit");
    EXPECT_FALSE(std::filesystem::exists(m_folder / "x.log.1"));

    writeFile(file, std::string(11, 'b'));
    writeFile(m_folder / "x.log.1", "one");
    writeFile(m_folder / "x.log.2", "two");
    destination->validateSaveFile("fresh");
    EXPECT_EQ(readFile(file), "fresh\n");
    EXPECT_EQ(readFile(m_folder / "x.log.1"), std::string(11, 'b'));
    EXPECT_EQ(readFile(m_folder / "x.log.2"), "one");
    EXPECT_FALSE(std::filesystem::exists(m_folder / "x.log.3"));
}

TEST_F(FileDestinationTest, TwoFilesKeepOneRotatedSibling) {
    const auto file = m_folder / "x.log";
    auto destination = make(file);
    destination->setLogFileMaxSize(5);
    destination->setLogFileAmount(2);
    writeFile(file, "123456");
    writeFile(m_folder / "x.log.1", "older");
    destination->validateSaveFile("new");
    EXPECT_EQ(readFile(m_folder / "x.log.1"), "123456");
    EXPECT_EQ(readFile(file), "new\n");
}

TEST_F(FileDestinationTest, JsonFormatWritesOneObjectPerLine) {
    const auto file = m_folder / "x.log";
    auto destination = make(file);
    destination->setFormat("$J");
    LogHub::addDestination(destination);
    LogHub::warning("one");
    LogHub::warning("bad \xc3");
    LogHub::warning("two");
    ASSERT_TRUE(LogHub::flush(5));
    const auto contents = readFile(file);
    const auto newline = contents.find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(contents.substr(0, newline)).at("message"), "one");
    EXPECT_EQ(nlohmann::json::parse(contents.substr(newline + 1)).at("message"), "two");
}

TEST_F(FileDestinationTest, AFileThatCannotBeWrittenIsReportedAndLost) {
    writeFile(m_folder / "blocker", "a file where a folder should be");
    auto destination = make(m_folder / "blocker" / "x.log");
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(destination->validateSaveFile("lost"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "LogHub File Destination could not write to file file://" +
                  (m_folder / "blocker" / "x.log").string() + ".\n");
}

TEST_F(FileDestinationTest, ColoursToggleAndDeletion) {
    const auto file = m_folder / "x.log";
    auto destination = make(file);
    EXPECT_EQ(destination->defaultHashValue(), 2);
    destination->setColored(true);
    EXPECT_EQ(destination->colorForLevel(LogLevel::info), "38m");
    EXPECT_EQ(destination->escape(), "\x1b[38;5;");
    destination->setColored(false);
    EXPECT_EQ(destination->colorForLevel(LogLevel::info), "");
    EXPECT_EQ(destination->escape(), "");
    EXPECT_EQ(destination->reset(), "");

    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(destination->deleteLogFile());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    destination->validateSaveFile("x");
    EXPECT_TRUE(destination->deleteLogFile());
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace tarnwick
