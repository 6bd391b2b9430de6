#include "LanguageRecognizer.h"

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

#include <algorithm>
#include <climits>
#include <cstdio>  // the CLD2 header uses FILE without including it

namespace tarnwick {

namespace {

// CLD2 still writes a few retired codes.
std::string isoCode(CLD2::Language language) {
    std::string code = CLD2::LanguageCode(language);
    if (code == "iw") {
        return "he";
    }
    if (code == "jw") {
        return "jv";
    }
    return code;
}

struct Guess {
    std::vector<std::pair<std::string, int>> languages;  // code and percent, best first
};

std::optional<Guess> detect(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return std::nullopt;
    }
    CLD2::CLDHints hints{nullptr, nullptr, CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
    CLD2::Language languages[3];
    int percents[3];
    double scores[3];
    int textBytes = 0;
    bool reliable = false;
    int validPrefix = 0;
    CLD2::ExtDetectLanguageSummaryCheckUTF8(text.data(), static_cast<int>(text.size()), true,
                                            &hints, CLD2::kCLDFlagBestEffort, languages, percents,
                                            scores, nullptr, &textBytes, &reliable, &validPrefix);
    if (validPrefix < static_cast<int>(text.size())) {
        return std::nullopt;
    }
    Guess guess;
    for (int i = 0; i < 3; ++i) {
        if (languages[i] != CLD2::UNKNOWN_LANGUAGE && languages[i] != CLD2::TG_UNKNOWN_LANGUAGE) {
            guess.languages.emplace_back(isoCode(languages[i]), percents[i]);
        }
    }
    return guess;
}

}  // namespace

void LanguageRecognizer::setLanguageConstraints(std::vector<std::string> languageCodes) {
    for (auto& code : languageCodes) {
        std::transform(code.begin(), code.end(), code.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    m_constraints = std::move(languageCodes);
}

void LanguageRecognizer::processString(std::string_view text) {
    m_dominantLanguage.reset();
    auto guess = detect(text);
    if (!guess || guess->languages.empty()) {
        return;
    }
    if (m_constraints.empty()) {
        m_dominantLanguage = guess->languages.front().first;
        return;
    }
    const auto allowed = [&](const std::string& code) {
        return std::find(m_constraints.begin(), m_constraints.end(), code) != m_constraints.end();
    };
    for (const auto& [code, percent] : guess->languages) {
        if (allowed(code)) {
            m_dominantLanguage = code;
            return;
        }
    }
    // None of the allowed languages is among the three likeliest: asking again with a hint
    // towards one of them turns even English into it, so there is no answer.
}

void LanguageRecognizer::reset() {
    m_constraints.clear();
    m_dominantLanguage.reset();
}

}  // namespace tarnwick
