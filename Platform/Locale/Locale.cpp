#include "Locale.h"

#include <unicode/locdspnm.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <set>

namespace tarnwick {

namespace {

// Codes ICU lists beside the assigned ones: exceptionally reserved by ISO 3166 (Diego Garcia,
// Ceuta and Melilla, the Canary Islands and the like) or in the user-assigned ranges.
bool isOfficiallyAssigned(std::string_view code) {
    static const std::set<std::string_view> reserved = {"AC", "CP", "DG", "EA", "EU", "EZ",
                                                        "FX", "IC", "SU", "TA", "UK", "UN"};
    if (code.size() != 2 || reserved.count(code) != 0) {
        return false;
    }
    const char first = code[0];
    const char second = code[1];
    const bool userAssigned =
        code == "AA" || code == "ZZ" || first == 'X' || (first == 'Q' && second >= 'M');
    return !userAssigned;
}

// Only plain identifier characters reach ICU, so odd input cannot be read as another locale.
bool isCode(std::string_view code, std::size_t maximumLength) {
    return !code.empty() && code.size() <= maximumLength &&
           std::all_of(code.begin(), code.end(), [](char character) {
               return std::isalnum(static_cast<unsigned char>(character)) != 0 ||
                      character == '_' || character == '-';
           });
}

std::string transformed(std::string_view text, int (*transform)(int)) {
    std::string result(text);
    for (char& character : result) {
        character = static_cast<char>(transform(static_cast<unsigned char>(character)));
    }
    return result;
}

std::optional<std::string> utf8(const icu::UnicodeString& text) {
    if (text.isBogus() || text.isEmpty()) {
        return std::nullopt;
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace

struct Locale::Impl {
    explicit Impl(const std::string& identifier) {
        UDisplayContext contexts[] = {UDISPCTX_STANDARD_NAMES, UDISPCTX_NO_SUBSTITUTE};
        names.reset(
            icu::LocaleDisplayNames::createInstance(icu::Locale(identifier.c_str()), contexts, 2));
    }

    // ICU does not promise that one display-names object may be used by two threads at once.
    std::mutex mutex;
    std::unique_ptr<icu::LocaleDisplayNames> names;
};

Locale::Locale(std::string identifier) : m_identifier(std::move(identifier)) {
    std::replace(m_identifier.begin(), m_identifier.end(), '-', '_');
    m_impl = std::make_shared<Impl>(m_identifier);
}

Locale Locale::current() {
    return Locale(icu::Locale::getDefault().getName());
}

const Locale& Locale::britishEnglish() {
    static const Locale locale("en_GB");
    return locale;
}

std::optional<std::string> Locale::localizedStringForRegionCode(std::string_view regionCode) const {
    if (!isCode(regionCode, 3) || !m_impl->names) {
        return std::nullopt;
    }
    const std::string code = transformed(regionCode, std::toupper);
    std::lock_guard lock(m_impl->mutex);
    icu::UnicodeString name;
    m_impl->names->regionDisplayName(code.c_str(), name);
    return utf8(name);
}

std::optional<std::string> Locale::localizedStringForLanguageCode(
    std::string_view languageCode) const {
    if (!isCode(languageCode, 16) || !m_impl->names) {
        return std::nullopt;
    }
    const std::string code = transformed(languageCode, std::tolower);
    std::lock_guard lock(m_impl->mutex);
    icu::UnicodeString name;
    m_impl->names->languageDisplayName(code.c_str(), name);
    return utf8(name);
}

std::optional<std::string> Locale::displayNameForLocaleIdentifier(
    std::string_view identifier) const {
    if (!isCode(identifier, 64) || !m_impl->names) {
        return std::nullopt;
    }
    const std::string text(identifier);
    UErrorCode status = U_ZERO_ERROR;
    char language[16] = {};
    char script[16] = {};
    char country[16] = {};
    char variant[32] = {};
    uloc_getLanguage(text.c_str(), language, sizeof language, &status);
    uloc_getScript(text.c_str(), script, sizeof script, &status);
    uloc_getCountry(text.c_str(), country, sizeof country, &status);
    uloc_getVariant(text.c_str(), variant, sizeof variant, &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    if (language[0] == '\0' && script[0] == '\0' && variant[0] == '\0') {
        return country[0] == '\0' ? std::nullopt : localizedStringForRegionCode(country);
    }
    std::lock_guard lock(m_impl->mutex);
    icu::UnicodeString name;
    m_impl->names->localeDisplayName(text.c_str(), name);
    return utf8(name);
}

const std::vector<std::string>& Locale::isoRegionCodes() {
    static const std::vector<std::string> codes = [] {
        std::vector<std::string> result;
        for (const char* const* code = uloc_getISOCountries(); *code != nullptr; ++code) {
            if (isOfficiallyAssigned(*code)) {
                result.emplace_back(*code);
            }
        }
        std::sort(result.begin(), result.end());
        return result;
    }();
    return codes;
}

std::string Locale::identifierFromComponents(const Components& components) {
    std::string identifier = components.languageCode;
    for (const std::string* part :
         {&components.scriptCode, &components.countryCode, &components.variantCode}) {
        if (!part->empty()) {
            identifier += "_" + *part;
        }
    }
    return identifier;
}

}  // namespace tarnwick
