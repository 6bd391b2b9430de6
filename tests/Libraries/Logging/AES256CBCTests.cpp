#include "Logging/AES256CBC.h"
#include "Logging/AESCipher.h"
#include "PayloadDecryption.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>

namespace tarnwick {
namespace {

using testing::bytesFromHex;
using testing::decryptPayload;
using testing::hexFromBytes;

constexpr std::string_view kKey = "0123456789abcdef0123456789ABCDEF";

// FIPS-197 appendix C: with a zero IV the first CBC block is the bare block function.
TEST(AESCipher, FirstBlockUnderAZeroIVIsTheFipsExampleVector) {
    struct Vector {
        const char* name;
        const char* key;
        const char* output;
    };
    const Vector vectors[] = {
        {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
         "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    const auto plain = bytesFromHex("00112233445566778899aabbccddeeff");
    for (const auto& vector : vectors) {
        SCOPED_TRACE(vector.name);
        const AESCipher cipher(bytesFromHex(vector.key), AESCipher::Bytes(16, 0));
        const auto encrypted = cipher.encryptBytes(plain);
        ASSERT_TRUE(encrypted);
        // The plain text fills its block, so a whole block of padding follows.
        ASSERT_EQ(encrypted->size(), 32u);
        EXPECT_EQ(hexFromBytes({encrypted->begin(), encrypted->begin() + 16}), vector.output);
    }
}

TEST(AESCipher, RefusesWhatCBCCannotTake) {
    const auto key = bytesFromHex("000102030405060708090a0b0c0d0e0f");
    const AESCipher noIV(key, std::nullopt);
    auto result = noIV.encryptBytes({1, 2, 3});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, CipherError::Code::missingInitializationVector);

    const AESCipher shortIV(key, AESCipher::Bytes(15, 0));
    result = shortIV.encryptBytes({1, 2, 3});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, CipherError::Code::initializationVectorLength);

    const AESCipher oddKey(AESCipher::Bytes(20, 1), AESCipher::Bytes(16, 0));
    result = oddKey.encryptBytes({1, 2, 3});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, CipherError::Code::keyLength);

    // Nothing to encrypt is still one block of padding.
    const AESCipher cipher(key, AESCipher::Bytes(16, 0));
    result = cipher.encryptBytes({});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->size(), 16u);
}

TEST(AES256CBC, TextLengthsAndTheRoundTrip) {
    struct Case {
        std::size_t plainLength;
        std::size_t base64Length;
    };
    for (const Case c : {Case{1, 24}, Case{3, 24}, Case{15, 24}, Case{16, 44}, Case{17, 44},
                         Case{32, 64}, Case{1000, 1344}}) {
        SCOPED_TRACE(c.plainLength);
        std::string plain(c.plainLength, 'x');
        plain.front() = '{';
        const auto encrypted = AES256CBC::encryptedText(plain, kKey);
        ASSERT_TRUE(encrypted);
        EXPECT_EQ(encrypted->size(), 16 + c.base64Length);
        EXPECT_EQ(decryptPayload(*encrypted, kKey), plain);
    }
}

TEST(AES256CBC, FreshIVOfLettersAndDigitsEachTime) {
    const std::string plain = "the same text, twice";
    const auto first = AES256CBC::encryptedText(plain, kKey);
    const auto second = AES256CBC::encryptedText(plain, kKey);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    for (const auto& text : {*first, *second}) {
        const std::string iv = text.substr(0, 16);
        EXPECT_EQ(iv.find_first_not_of(AES256CBC::ivAlphabet), std::string::npos) << iv;
        // The IV text's bytes are the IV: the known IV gives the same ciphertext again.
        EXPECT_EQ(AES256CBC::encryptToBase64(plain, kKey, iv).valueOr(std::string()),
                  text.substr(16));
        EXPECT_EQ(decryptPayload(text, kKey), plain);
    }
}

TEST(AES256CBC, KeyThatIsNot32BytesIsAnErrorNeverPaddedOrCut) {
    const std::string nonAscii = "0123456789abcdef0123456789ABCDE\xc3\xa9";  // 32 characters
    for (const std::string& key : {std::string(31, 'k'), std::string(33, 'k'), std::string(),
                                   std::string(16, 'k'), nonAscii}) {
        SCOPED_TRACE(key.size());
        const auto encrypted = AES256CBC::encryptedText("payload", key);
        ASSERT_FALSE(encrypted);
        EXPECT_EQ(encrypted.error().code, CipherError::Code::keyLength);
        EXPECT_NE(encrypted.error().message.find(std::to_string(key.size())), std::string::npos);
    }
    const auto empty = AES256CBC::encryptedText("", kKey);
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().code, CipherError::Code::emptyPlainText);
}

TEST(AES256CBC, IVDrawsAgainInsteadOfFavouringTheFirstCharacters) {
    constexpr std::uint64_t maximum = std::numeric_limits<std::uint64_t>::max();
    // 2^64 mod 62 = 16, so the top 16 values would make "a" to "p" more likely than the rest.
    std::deque<std::uint64_t> draws = {maximum, maximum - 15, 0, 61, maximum - 16, 62};
    for (std::uint64_t i = 0; i < 12; ++i) {
        draws.push_back(i + 1);
    }
    std::size_t used = 0;
    const auto iv = AES256CBC::makeIVText([&]() -> Result<std::uint64_t, CipherError> {
        ++used;
        const auto value = draws.front();
        draws.pop_front();
        return value;
    });
    ASSERT_TRUE(iv);
    // maximum - 16 is the largest value kept; it falls on the alphabet's last character.
    EXPECT_EQ(*iv, "a99abcdefghijklm");
    EXPECT_EQ(used, 18u);

    const auto failing = AES256CBC::makeIVText([]() -> Result<std::uint64_t, CipherError> {
        return Failure{CipherError{CipherError::Code::randomSource, "no entropy"}};
    });
    ASSERT_FALSE(failing);
    EXPECT_EQ(failing.error().code, CipherError::Code::randomSource);
    const auto encrypted = AES256CBC::encryptedText("x", kKey, [] {
        return Result<std::uint64_t, CipherError>(
            Failure{CipherError{CipherError::Code::randomSource, "no entropy"}});
    });
    ASSERT_FALSE(encrypted);
}

TEST(AES256CBC, SystemIVCoversTheWholeAlphabet) {
    std::set<char> seen;
    for (int i = 0; i < 200 && seen.size() < AES256CBC::ivAlphabet.size(); ++i) {
        const auto iv = AES256CBC::makeIVText(AES256CBC::systemRandom);
        ASSERT_TRUE(iv);
        ASSERT_EQ(iv->size(), 16u);
        seen.insert(iv->begin(), iv->end());
    }
    EXPECT_EQ(seen.size(), AES256CBC::ivAlphabet.size());
}

}  // namespace
}  // namespace tarnwick
