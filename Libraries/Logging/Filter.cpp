#include "Filter.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

namespace {

// ASCII letters compare without regard to case; other characters compare as they are.
std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

bool FilterComparisonType::matches(const std::string& text) const {
    if (m_kind == Kind::Custom) {
        return m_predicate && m_predicate(text);
    }
    const std::string subject = m_caseSensitive ? text : lowered(text);
    return std::any_of(m_strings.begin(), m_strings.end(), [&](const std::string& string) {
        const std::string candidate = m_caseSensitive ? string : lowered(string);
        switch (m_kind) {
            case Kind::StartsWith:
                return startsWith(subject, candidate);
            case Kind::Contains:
                return subject.find(candidate) != std::string::npos;
            case Kind::Excludes:
                return subject.find(candidate) == std::string::npos;
            case Kind::EndsWith:
                return endsWith(subject, candidate);
            case Kind::Equals:
                return subject == candidate;
            case Kind::Custom:
                break;
        }
        return false;
    });
}

bool CompareFilter::matches(const std::optional<std::string>& text) const {
    if (!text || !m_filterComparisonType) {
        return false;
    }
    return m_filterComparisonType->matches(*text);
}

bool CompareFilter::isExcluded() const {
    return m_filterComparisonType &&
           m_filterComparisonType->kind() == ComparisonType::Kind::Excludes;
}

}  // namespace tarnwick
