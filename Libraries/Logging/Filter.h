#pragma once

#include "FilterType.h"

#include <functional>
#include <string>
#include <vector>

namespace tarnwick {

// How a filter compares the tested text: with a list of strings, or through a predicate.
class FilterComparisonType {
public:
    enum class Kind { StartsWith, Contains, Excludes, EndsWith, Equals, Custom };
    using Predicate = std::function<bool(const std::string&)>;

    FilterComparisonType(Kind kind, std::vector<std::string> strings, bool caseSensitive)
        : m_kind(kind), m_strings(std::move(strings)), m_caseSensitive(caseSensitive) {}
    explicit FilterComparisonType(Predicate predicate)
        : m_kind(Kind::Custom), m_predicate(std::move(predicate)) {}

    Kind kind() const { return m_kind; }
    const std::vector<std::string>& strings() const { return m_strings; }
    bool caseSensitive() const { return m_caseSensitive; }

    bool matches(const std::string& text) const;

private:
    Kind m_kind;
    std::vector<std::string> m_strings;
    bool m_caseSensitive = true;
    Predicate m_predicate;
};

// What a filter tests: the source file path, the function or the message. Two targets are equal
// when they are of the same kind, whatever their comparisons.
class FilterTargetType {
public:
    enum class Kind { Path, Function, Message };

    FilterTargetType(Kind kind, FilterComparisonType comparison)
        : m_kind(kind), m_comparison(std::move(comparison)) {}

    Kind kind() const { return m_kind; }
    const FilterComparisonType& comparison() const { return m_comparison; }

    bool operator==(const FilterTargetType& other) const { return m_kind == other.m_kind; }

private:
    Kind m_kind;
    FilterComparisonType m_comparison;
};

class Filter : public FilterType {
public:
    using ComparisonType = FilterComparisonType;
    using TargetType = FilterTargetType;

    Filter(TargetType targetType, bool required, LogLevel minLevel)
        : m_targetType(std::move(targetType)), m_required(required), m_minLevel(minLevel) {}

    const TargetType& target() const override { return m_targetType; }
    bool isRequired() const override { return m_required; }
    bool isExcluded() const override { return false; }
    bool reachesMinLevel(LogLevel level) const override { return reaches(level, m_minLevel); }

private:
    TargetType m_targetType;
    bool m_required;
    LogLevel m_minLevel;
};

// The one kind of filter: compares the tested text as its target's comparison says. Any filter
// made with an `Excludes` comparison is an exclusion filter, whatever its `required` flag.
class CompareFilter final : public Filter {
public:
    CompareFilter(TargetType targetType, bool required, LogLevel minLevel)
        : Filter(targetType, required, minLevel), m_filterComparisonType(targetType.comparison()) {}

    const std::optional<ComparisonType>& filterComparisonType() const {
        return m_filterComparisonType;
    }
    void setFilterComparisonType(std::optional<ComparisonType> comparison) {
        m_filterComparisonType = std::move(comparison);
    }

    bool matches(const std::optional<std::string>& text) const override;
    bool isExcluded() const override;

private:
    std::optional<ComparisonType> m_filterComparisonType;
};

}  // namespace tarnwick
