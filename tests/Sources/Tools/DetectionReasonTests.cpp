#include "Tools/DetectionReason.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tarnwick {
namespace {

std::string encoded(const DetectionReason& reason) {
    return JSONCoding::encode(reason.toJSON()).value();
}

DetectionReason decoded(const std::string& json) {
    return DetectionReason::fromJSON(JSONCoding::parse(json), {});
}

TEST(DetectionReason, TemplatesInDeclarationOrderWithTheirSentencesAndStoredForms) {
    struct Row {
        const char* caseName;
        const char* sentence;
        const char* json;
    };
    const Row rows[] = {
        {"custom", "TARGET COUNTRY OWNERSHIP", R"({"custom":{"_0":"TARGET COUNTRY OWNERSHIP"}})"},
        {"bundleID", "Contains \"TARGET COUNTRY CODE\" in bundle id",
         R"({"bundleID":{"_0":"TARGET COUNTRY CODE"}})"},
        {"sellerUrl", "Seller site is: [TARGET COUNTRY DOMAIN]",
         R"({"sellerUrl":{"_0":"[TARGET COUNTRY DOMAIN]"}})"},
        {"socialNetworkDomain", "Application is distributed from vk.com",
         R"({"socialNetworkDomain":{}})"},
        {"appStoreTitle", "Has title in TARGET COUNTRY LANGUAGE on the AppStore",
         R"({"appStoreTitle":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"appStoreDescription", "Has AppStore description only in TARGET COUNTRY LANGUAGE",
         R"({"appStoreDescription":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"appStoreSecondary", "Has TARGET COUNTRY LANGUAGE as secondary language on the AppStore",
         R"({"appStoreSecondary":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"title", "Has title in TARGET COUNTRY LANGUAGE",
         R"({"title":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"description", "Has TARGET COUNTRY LANGUAGE description",
         R"({"description":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"signingCertificate", "Signing Certificate originated in TARGET COUNTRY (Team Id)",
         R"({"signingCertificate":{"_0":"TARGET COUNTRY","_1":"Team Id"}})"},
        {"localization", "Has localization only in TARGET COUNTRY LANGUAGE",
         R"({"localization":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"secondaryLocalization", "Has secondary localization in TARGET COUNTRY LANGUAGE",
         R"({"secondaryLocalization":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"copyright", "Has copyright in TARGET COUNTRY LANGUAGE",
         R"({"copyright":{"_0":"TARGET COUNTRY LANGUAGE"}})"},
        {"sellerName", "Seller name is: [TARGET COUNTRY COMPANY]",
         R"({"sellerName":{"_0":"[TARGET COUNTRY COMPANY]"}})"},
        {"artistName", "Developer name is: [TARGET COUNTRY COMPANY]",
         R"({"artistName":{"_0":"[TARGET COUNTRY COMPANY]"}})"},
        {"binaryURLs", "Application binary contains hosts originating from TARGET COUNTRY",
         R"({"binaryURLs":{"_0":"TARGET COUNTRY","_1":["String"]}})"},
        {"applicationServer", "Application server based in TARGET COUNTRY",
         R"({"applicationServer":{"_0":"TARGET COUNTRY"}})"},
    };
    const auto templates = DetectionReason::allCases();
    ASSERT_EQ(templates.size(), std::size(rows));
    for (std::size_t index = 0; index < templates.size(); ++index) {
        SCOPED_TRACE(rows[index].caseName);
        const auto& reason = templates[index];
        EXPECT_EQ(static_cast<std::size_t>(reason.reasonCase()), index);
        EXPECT_EQ(DetectionReason::caseName(reason.reasonCase()), rows[index].caseName);
        EXPECT_EQ(reason.descriptionText(), rows[index].sentence);
        EXPECT_EQ(encoded(reason), rows[index].json);
        EXPECT_EQ(decoded(rows[index].json), reason);
    }
}

TEST(DetectionReason, FindingsWithRealEvidence) {
    EXPECT_EQ(DetectionReason::custom("").descriptionText(), "");
    EXPECT_EQ(DetectionReason::signingCertificate("Russia", "ABCDE12345").descriptionText(),
              "Signing Certificate originated in Russia (ABCDE12345)");
    // The host list is evidence, not shown; a "/" is stored escaped.
    const auto urls = DetectionReason::binaryURLs("Russia", {"https://a.ru/x", "http://b.ru"});
    EXPECT_EQ(urls.descriptionText(), "Application binary contains hosts originating from Russia");
    EXPECT_EQ(encoded(urls),
              R"({"binaryURLs":{"_0":"Russia","_1":["https:\/\/a.ru\/x","http:\/\/b.ru"]}})");
    EXPECT_EQ(decoded(encoded(urls)), urls);
    EXPECT_EQ(encoded(DetectionReason::sellerName("Ёлка \"Ltd\"\n")),
              "{\"sellerName\":{\"_0\":\"Ёлка \\\"Ltd\\\"\\n\"}}");
}

TEST(DetectionReason, AbsentTeamIdentifierDiffersFromTheTemplatesTeamId) {
    const auto absent = DetectionReason::signingCertificate("TARGET COUNTRY", std::nullopt);
    const auto present = DetectionReason::signingCertificate("TARGET COUNTRY", "Team Id");
    EXPECT_EQ(absent.descriptionText(), present.descriptionText());
    EXPECT_NE(absent, present);
    EXPECT_EQ(encoded(absent), R"({"signingCertificate":{"_0":"TARGET COUNTRY"}})");
    // "_1": null reads as absent and is written back without "_1".
    const auto fromNull = decoded(R"({"signingCertificate":{"_0":"TARGET COUNTRY","_1":null}})");
    EXPECT_EQ(fromNull, absent);
    EXPECT_EQ(encoded(fromNull), encoded(absent));
}

TEST(DetectionReason, EqualityAndHashing) {
    const auto first = DetectionReason::binaryURLs("RU", {"a", "b"});
    const auto swapped = DetectionReason::binaryURLs("RU", {"b", "a"});
    EXPECT_NE(first, swapped);
    EXPECT_EQ(first.descriptionText(), swapped.descriptionText());
    EXPECT_NE(DetectionReason::title("X"), DetectionReason::description("X"));
    EXPECT_NE(DetectionReason::title("x"), DetectionReason::title("X"));
    EXPECT_NE(DetectionReason::title("X "), DetectionReason::title("X"));
    EXPECT_EQ(DetectionReason::socialNetworkDomain(), DetectionReason::socialNetworkDomain());

    // Canonically equivalent texts are the same evidence, and hash alike.
    const auto composed = DetectionReason::sellerName("Caf\u00E9");
    const auto decomposed = DetectionReason::sellerName("Cafe\u0301");
    EXPECT_EQ(composed, decomposed);
    EXPECT_EQ(composed.hash(), decomposed.hash());

    std::unordered_set<DetectionReason> findings = {composed,
                                                    decomposed,
                                                    first,
                                                    swapped,
                                                    DetectionReason::signingCertificate("RU", {}),
                                                    DetectionReason::signingCertificate("RU", "")};
    EXPECT_EQ(findings.size(), 5U);
    EXPECT_EQ(DetectionReason::allCases()[12],
              DetectionReason::copyright("TARGET COUNTRY LANGUAGE"));
}

TEST(DetectionReason, ReadingRules) {
    struct Case {
        const char* json;
        const char* error;  // nullptr: reads
        const char* reads;  // the stored form of what it reads
    };
    const char* const invalidCount = "Invalid number of keys found, expected one.";
    const Case cases[] = {
        {"{}", invalidCount, nullptr},
        {R"({"title":{"_0":"A"},"bundleID":{"_0":"B"}})", invalidCount, nullptr},
        {R"({"title":{"_0":"A"},"note":1,"TITLE":{}})", nullptr, R"({"title":{"_0":"A"}})"},
        {R"({"title":{"_0":"A","_1":"ignored","x":2}})", nullptr, R"({"title":{"_0":"A"}})"},
        {R"({"socialNetworkDomain":{"anything":[1,2]}})", nullptr, R"({"socialNetworkDomain":{}})"},
        {R"({"socialNetworkDomain":true})", "", nullptr},
        {R"({"socialNetworkDomain":"x"})", "", nullptr},
        {R"({"title":"A"})", "", nullptr},
        {R"({"title":{}})", "", nullptr},
        {R"({"title":{"_0":5}})", "", nullptr},
        {R"({"signingCertificate":{"_0":"A","_1":5}})", "", nullptr},
        {R"({"binaryURLs":{"_0":"A"}})", "", nullptr},
        {R"({"binaryURLs":{"_0":"A","_1":["x",1]}})", "", nullptr},
        {R"({"binaryURLs":{"_0":"A","_1":[]}})", nullptr, R"({"binaryURLs":{"_0":"A","_1":[]}})"},
        {R"(["title"])", "", nullptr},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.json);
        if (testCase.error == nullptr) {
            EXPECT_EQ(encoded(decoded(testCase.json)), testCase.reads);
            continue;
        }
        try {
            decoded(testCase.json);
            ADD_FAILURE() << "read a value";
        } catch (const DecodingError& error) {
            if (*testCase.error != '\0') {
                EXPECT_EQ(error.debugDescription(), testCase.error);
                EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch);
            }
        }
    }
}

}  // namespace
}  // namespace tarnwick
