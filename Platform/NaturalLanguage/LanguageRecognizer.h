#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Names the language a text is written in, as an ISO 639-1 code ("ru", "uk", "en"). One
// recognizer per question; safe to use on many threads at once, each with its own.
//
// Short texts (a single word, a name) get a best-effort answer instead of none. With constraints,
// the answer is the likeliest of those languages among the three likeliest of all; a text that
// reads as none of them has no dominant language.
class LanguageRecognizer {
public:
    void setLanguageConstraints(std::vector<std::string> languageCodes);
    void processString(std::string_view text);
    // Nothing for empty text, text that is not UTF-8, or text without letters of any language.
    const std::optional<std::string>& dominantLanguage() const { return m_dominantLanguage; }
    void reset();

private:
    std::vector<std::string> m_constraints;
    std::optional<std::string> m_dominantLanguage;
};

}  // namespace tarnwick
