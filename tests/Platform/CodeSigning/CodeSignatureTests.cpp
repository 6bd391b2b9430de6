#include "CodeSigning/CertificateCountries.h"
#include "CodeSigning/CodeSignatureReader.h"
#include "CodeSigning/StaticCode.h"
#include "fuzz/FuzzEntries.h"
#include "support/MachOFixture.h"
#include "support/SigningFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <random>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

std::span<const std::uint8_t> asBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Signer, intermediate, root, as a developer identity's chain is.
const CertificateChain& developerChain() {
    static const CertificateChain chain({
        {{"RU"}, "Developer ID Application: Sample (ABCDE12345)", "ABCDE12345"},
        {{"US"}, "Developer ID Certification Authority", std::nullopt},
        {{"US"}, "Root CA", std::nullopt},
    });
    return chain;
}

std::vector<std::string> countriesOf(const CodeSignatureInfo& info) {
    std::vector<std::string> countries;
    for (const auto& certificate : info.certificates) {
        auto values = certificateSubjectCountries(certificate);
        EXPECT_TRUE(values);
        countries.insert(countries.end(), values->begin(), values->end());
    }
    return countries;
}

TEST(CodeSignatureReaderTests, ReadsADeveloperIdentitySignatureInChainOrder) {
    CodeDirectorySpec spec;
    spec.teamIdentifier = "ABCDE12345";
    auto info = CodeSignatureReader::read(asBytes(buildIdentitySignature(developerChain(), spec)));
    ASSERT_TRUE(info) << info.error().message;
    EXPECT_EQ(info->identifier(), "com.example.tool");
    EXPECT_EQ(info->teamIdentifier(), "ABCDE12345");
    EXPECT_EQ(info->hashTypes(),
              (std::vector<CodeHashType>{CodeHashType::sha1, CodeHashType::sha256}));
    EXPECT_TRUE(info->hasCMSSignature);
    EXPECT_FALSE(info->isAdHoc());
    ASSERT_EQ(info->certificates.size(), 3u);
    EXPECT_EQ(countriesOf(*info), (std::vector<std::string>{"RU", "US", "US"}));
}

TEST(CodeSignatureReaderTests, CodeDirectoryVersionsAndSignatureKinds) {
    struct Case {
        const char* name;
        std::string signature;
        std::optional<std::string> team;
        bool adHoc;
        bool linkerSigned;
        std::size_t certificates;
    };
    const auto withVersion = [](std::uint32_t version) {
        CodeDirectorySpec spec;
        spec.version = version;
        spec.teamIdentifier = "TEAM000001";
        return buildSuperBlob({{0, buildCodeDirectory(spec)}});
    };
    const Case cases[] = {
        {"ad hoc: signed, no team, no certificates", buildAdHocSignature("a.b"), std::nullopt, true,
         false, 0},
        {"linker-signed", buildLinkerSignature("a.b"), std::nullopt, true, true, 0},
        {"version 0x20100 has no team field", withVersion(0x20100), std::nullopt, false, false, 0},
        {"version 0x20200", withVersion(0x20200), "TEAM000001", false, false, 0},
        {"version 0x20400", withVersion(0x20400), "TEAM000001", false, false, 0},
        {"version 0x20600", withVersion(0x20600), "TEAM000001", false, false, 0},
        {"SHA-256 only", buildIdentitySignature(developerChain(), CodeDirectorySpec{}, false),
         std::nullopt, false, false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto info = CodeSignatureReader::read(asBytes(c.signature));
        ASSERT_TRUE(info) << info.error().message;
        EXPECT_EQ(info->teamIdentifier(), c.team);
        EXPECT_EQ(info->isAdHoc(), c.adHoc);
        EXPECT_EQ(info->isLinkerSigned(), c.linkerSigned);
        EXPECT_EQ(info->certificates.size(), c.certificates);
    }
}

TEST(CodeSignatureReaderTests, CertificatesWithoutOrWithSeveralCountries) {
    const CertificateChain chain(
        {{{}, "No country", std::nullopt}, {{"DE", "BY"}, "Two", std::nullopt}});
    const auto der = chain.derCertificates();
    EXPECT_EQ(*certificateSubjectCountries(asBytes(der[0])), std::vector<std::string>{});
    EXPECT_EQ(*certificateSubjectCountries(asBytes(der[1])),
              (std::vector<std::string>{"DE", "BY"}));
    EXPECT_FALSE(certificateSubjectCountries(asBytes(std::string("not DER"))));
}

TEST(CodeSignatureReaderTests, BrokenSignaturesGiveErrors) {
    const auto adHoc = buildAdHocSignature("a.b");
    struct Case {
        const char* name;
        std::string bytes;
    };
    auto wrongMagic = adHoc;
    putBigEndian32(wrongMagic, 0, 0xfade0c00);
    auto lengthTooLong = adHoc;
    putBigEndian32(lengthTooLong, 4, 0x7fffffff);
    auto blobOutside = adHoc;
    putBigEndian32(blobOutside, 16, 0x7ffffff0);
    auto tooManyBlobs = adHoc;
    putBigEndian32(tooManyBlobs, 8, 100000);
    auto garbageCMS = buildSuperBlob(
        {{0, buildCodeDirectory(CodeDirectorySpec{})}, {0x10000, buildBlobWrapper("junk")}});
    const Case cases[] = {
        {"empty", ""},
        {"wrong magic", wrongMagic},
        {"length beyond the bytes", lengthTooLong},
        {"blob offset outside", blobOutside},
        {"index larger than the signature", tooManyBlobs},
        {"no CodeDirectory", buildSuperBlob({{0x10000, buildBlobWrapper("")}})},
        {"CMS that does not decode", garbageCMS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(CodeSignatureReader::read(asBytes(c.bytes)));
    }
}

TEST(CodeSignatureReaderTests, TruncationsAndFlipsStayInBounds) {
    CodeDirectorySpec spec;
    spec.teamIdentifier = "ABCDE12345";
    const auto signature = buildIdentitySignature(developerChain(), spec);
    for (std::size_t length = 0; length < signature.size(); length += 3) {
        const std::vector<std::uint8_t> prefix(signature.begin(), signature.begin() + length);
        fuzz::fuzzCodeSignature(prefix.data(), prefix.size());
    }
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bytes(signature.begin(), signature.end());
        for (int flip = 0; flip < 3; ++flip) {
            bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        }
        fuzz::fuzzCodeSignature(bytes.data(), bytes.size());
    }
}

TEST(StaticCodeTests, EverySliceCarriesItsOwnSignature) {
    TemporaryDirectory folder;
    CodeDirectorySpec spec;
    spec.teamIdentifier = "ABCDE12345";
    MachOFixtureImage intel;
    intel.codeSignature = buildIdentitySignature(developerChain(), spec);
    MachOFixtureImage arm;
    arm.cputype = 0x0100000c;
    arm.codeSignature = buildAdHocSignature("com.example.tool");
    MachOFixtureImage plain;
    writeFile(folder / "universal", buildFatMachO({{arm.cputype, buildThinMachO(arm)},
                                                   {intel.cputype, buildThinMachO(intel)},
                                                   {0x7, buildThinMachO(plain)}}));

    auto code = StaticCode::createWithPath(folder / "universal");
    ASSERT_TRUE(code);
    ASSERT_EQ(code->slices().size(), 3u);
    ASSERT_TRUE(code->slices()[0].signature);
    EXPECT_TRUE(code->slices()[0].signature->isAdHoc());
    ASSERT_TRUE(code->slices()[1].signature);
    EXPECT_EQ(code->slices()[1].signature->teamIdentifier(), "ABCDE12345");
    ASSERT_FALSE(code->slices()[2].signature);
    EXPECT_EQ(code->slices()[2].signature.error().code, CodeSigningError::Code::notSigned);
    // The code's own signing information is the x86-64 slice's.
    ASSERT_TRUE(code->signingInformation());
    EXPECT_EQ(code->signingInformation()->teamIdentifier(), "ABCDE12345");
}

TEST(StaticCodeTests, BundlesAreReadThroughTheirInfoPlist) {
    TemporaryDirectory folder;
    const auto bundle = folder / "Tool.app";
    std::filesystem::create_directories(bundle / "Contents/MacOS");
    writeFile(bundle / "Contents/Info.plist",
              R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleExecutable</key><string>Tool</string></dict></plist>)");
    MachOFixtureImage image;
    image.codeSignature = buildLinkerSignature("Tool");
    writeFile(bundle / "Contents/MacOS/Tool", buildThinMachO(image));

    auto code = StaticCode::createWithPath(bundle);
    ASSERT_TRUE(code);
    ASSERT_TRUE(code->signingInformation());
    EXPECT_TRUE(code->signingInformation()->isLinkerSigned());

    for (const char* missing : {"Missing.app", "nothing"}) {
        auto failed = StaticCode::createWithPath(folder / missing);
        ASSERT_FALSE(failed);
        EXPECT_EQ(failed.error().code, CodeSigningError::Code::cannotRead);
    }
}

}  // namespace
}  // namespace tarnwick
