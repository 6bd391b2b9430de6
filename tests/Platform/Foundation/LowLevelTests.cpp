#include "Foundation/ByteReader.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/Result.h"
#include "Foundation/Text.h"

#include <gtest/gtest.h>

#include <array>
#include <fcntl.h>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace tarnwick {
namespace {

Result<int, std::string> parsePositive(int value) {
    if (value <= 0) {
        return Failure{std::string("not positive")};
    }
    return value;
}

Result<void, std::string> check(bool good) {
    if (!good) {
        return Failure{std::string("bad")};
    }
    return {};
}

TEST(Result, CarriesEitherTheValueOrTheError) {
    const auto good = parsePositive(3);
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(*good, 3);
    const auto bad = parsePositive(-1);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), "not positive");
    EXPECT_EQ(bad.valueOr(7), 7);

    EXPECT_TRUE(check(true).ok());
    const auto failed = check(false);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), "bad");
}

bool isOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

TEST(FileDescriptor, ClosesOnceWhateverPathItsOwnerTakes) {
    int raw = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    {
        FileDescriptor first(raw);
        FileDescriptor second(std::move(first));
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(second.get(), raw);
        FileDescriptor third;
        third = std::move(second);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));

    raw = open("/dev/null", O_RDONLY | O_CLOEXEC);
    FileDescriptor kept(raw);
    EXPECT_EQ(kept.release(), raw);
    EXPECT_TRUE(isOpen(raw));
    close(raw);
}

TEST(WriteAll, DeliversMoreThanOneWriteTakesAndReportsTheReason) {
    std::array<int, 2> ends{};
    ASSERT_EQ(pipe(ends.data()), 0);
    FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);
    // Larger than a pipe's buffer, so the writes come back short while the reader drains it.
    const std::string bytes(1 << 20, 'x');
    std::string received;
    std::thread reader([&] {
        std::array<char, 4096> chunk{};
        ssize_t count = 0;
        while ((count = read(reading.get(), chunk.data(), chunk.size())) > 0) {
            received.append(chunk.data(), static_cast<std::size_t>(count));
        }
    });
    EXPECT_TRUE(writeAll(writing.get(), bytes).ok());
    writing.reset();
    reader.join();
    EXPECT_EQ(received, bytes);

    const auto refused = writeAll(reading.get(), "x");
    ASSERT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error().empty());
}

TEST(Text, TrimmedDropsBlanksAndNulAtBothEndsOnly) {
    const struct {
        std::string_view text;
        std::string_view expected;
    } cases[] = {
        {"", ""},
        {" \t\r\n", ""},
        {"  a b  ", "a b"},
        {std::string_view("model\0", 6), "model"},
        {"\v\fkey\t", "key"},
        {"inner\n\nkept", "inner\n\nkept"},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(trimmed(entry.text), entry.expected) << entry.text;
    }
}

TEST(Text, AsciiLowercasedLeavesEveryOtherByteAlone) {
    EXPECT_EQ(asciiLowercased("RU"), "ru");
    EXPECT_EQ(asciiLowercased("Mixed-Case_09@Z"), "mixed-case_09@z");
    // "ÄÉ" in UTF-8: neither byte may change, or the text stops being UTF-8.
    EXPECT_EQ(asciiLowercased("\xC3\x84\xC3\x89X"), "\xC3\x84\xC3\x89x");
}

TEST(ByteReader, ReadsBothOrdersAndRefusesEveryReadPastTheEnd) {
    const std::array<std::uint8_t, 8> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    const ByteReader reader(bytes);
    using O = ByteReader::Order;
    EXPECT_EQ(reader.u16(0, O::big), 0x0102);
    EXPECT_EQ(reader.u16(0, O::little), 0x0201);
    EXPECT_EQ(reader.u32(4, O::big), 0x05060708u);
    EXPECT_EQ(reader.u32(4, O::little), 0x08070605u);
    EXPECT_EQ(reader.u64(0, O::big), 0x0102030405060708ull);
    EXPECT_EQ(reader.u8(7), 0x08);

    EXPECT_FALSE(reader.u8(8));
    EXPECT_FALSE(reader.u16(7, O::big));
    EXPECT_FALSE(reader.u32(5, O::little));
    EXPECT_FALSE(reader.u64(1, O::big));
    EXPECT_FALSE(reader.span(4, 5));
    EXPECT_FALSE(reader.text(std::numeric_limits<std::size_t>::max(), 2));
    EXPECT_FALSE(reader.span(2, std::numeric_limits<std::size_t>::max()));
    EXPECT_EQ(reader.span(8, 0)->size(), 0u);
    EXPECT_EQ(reader.text(0, 2)->size(), 2u);
}

}  // namespace
}  // namespace tarnwick
