#include "Foundation/AtomicFile.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarnwick {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

TEST(AtomicFile, AMissingFileIsToldApartFromOneThatCannotBeRead) {
    TemporaryDirectory folder;
    const auto missing = AtomicFile::read(folder / "missing.json");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, FileError::Code::notFound);
    EXPECT_NE(missing.error().message.find("missing.json"), std::string::npos);

    std::filesystem::create_directory(folder / "folder.json");
    const auto folderRead = AtomicFile::read(folder / "folder.json");
    ASSERT_FALSE(folderRead);
    EXPECT_EQ(folderRead.error().code, FileError::Code::failed);

    writeFile(folder / "empty.json", "");
    EXPECT_EQ(AtomicFile::read(folder / "empty.json").value(), "");
}

TEST(AtomicFile, WritesCreateFoldersAndTheModeAndFailuresNameTheFile) {
    TemporaryDirectory folder;
    const auto file = folder / "a" / "b" / "data.bin";
    const std::string bytes("one\0two", 7);
    ASSERT_TRUE(AtomicFile::write(file, bytes, 0640));
    EXPECT_EQ(AtomicFile::read(file).value(), bytes);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A file where a folder should be.
    writeFile(folder / "plain", "x");
    const auto refused = AtomicFile::write(folder / "plain" / "data.bin", "y");
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("plain"), std::string::npos);
    EXPECT_EQ(readFile(folder / "plain"), "x");
}

TEST(AtomicFile, KeepAsideReusesTheSameBytesAndNeverOverwrites) {
    TemporaryDirectory folder;
    const auto file = folder / "settings.json";
    const auto first = AtomicFile::keepAside(file, "first");
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, folder / "settings.json.corrupt");
    EXPECT_EQ(AtomicFile::keepAside(file, "first").value(), *first);
    const auto second = AtomicFile::keepAside(file, "second");
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, folder / "settings.json.corrupt-2");
    EXPECT_EQ(readFile(*first), "first");
    EXPECT_EQ(readFile(*second), "second");

    const auto nowhere = AtomicFile::keepAside(folder / "no" / "such" / "file", "bytes");
    ASSERT_FALSE(nowhere);
    EXPECT_EQ(nowhere.error().code, FileError::Code::notFound);
}

}  // namespace
}  // namespace tarnwick
