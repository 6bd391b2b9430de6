#include "NaturalLanguage/LanguageRecognizer.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

std::optional<std::string> recognise(std::string_view text,
                                     std::vector<std::string> constraints = {}) {
    LanguageRecognizer recognizer;
    recognizer.setLanguageConstraints(std::move(constraints));
    recognizer.processString(text);
    return recognizer.dominantLanguage();
}

TEST(LanguageRecognizerTests, NamesTheLanguageOfSentencesAndShortTexts) {
    struct Case {
        const char* text;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Это приложение помогает работать с документами и таблицами.", "ru"},
        {"Ця програма допомагає працювати з документами.", "uk"},
        {"This application helps you work with documents.", "en"},
        {"Калькулятор", "ru"},  // one word still gets an answer
        {"", std::nullopt},
        {"12345 !!!", std::nullopt},
        {"\xff\xfe broken", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(recognise(c.text), c.expected);
    }
}

TEST(LanguageRecognizerTests, ConstraintsLimitTheAnswer) {
    EXPECT_EQ(recognise("ООО Рога и копыта", {"uk", "ru"}), "ru");
    EXPECT_EQ(recognise("Завантажити", {"UK", "RU"}), "uk");
    EXPECT_EQ(recognise("This application helps you work with documents.", {"uk", "ru"}),
              std::nullopt);
}

}  // namespace
}  // namespace tarnwick
