#include "DateFormatter.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace tarnwick {

struct DateFormatter::Impl {
    std::unique_ptr<icu::SimpleDateFormat> format;
    std::string pattern;
    std::optional<std::string> zoneName;
    std::string calendar;
    bool zoneApplied = false;
    // The last moment formatted and its text: entries of one burst share their millisecond.
    std::int64_t cachedMillis = 0;
    std::string cachedText;
    bool cacheValid = false;

    void rebuild() {
        icu::Locale locale = icu::Locale::getDefault();
        if (!calendar.empty()) {
            UErrorCode status = U_ZERO_ERROR;
            locale.setKeywordValue("calendar", calendar.c_str(), status);
        }
        UErrorCode status = U_ZERO_ERROR;
        format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern),
                                                         locale, status);
        if (U_FAILURE(status)) {
            format.reset();
        }
        zoneApplied = false;
        cacheValid = false;
    }

    void applyZone() {
        if (!format || zoneApplied) {
            return;
        }
        icu::TimeZone* zone = nullptr;
        if (zoneName) {
            zone = icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(*zoneName));
            if (zone != nullptr && *zone == icu::TimeZone::getUnknown()) {
                delete zone;
                zone = nullptr;
            }
        }
        if (zone == nullptr) {
            zone = icu::TimeZone::createDefault();
        }
        format->adoptTimeZone(zone);
        zoneApplied = true;
        cacheValid = false;
    }
};

DateFormatter::DateFormatter() : m_impl(std::make_unique<Impl>()) {
    m_impl->rebuild();
}

DateFormatter::~DateFormatter() = default;

void DateFormatter::setDateFormat(const std::string& pattern) {
    if (pattern == m_impl->pattern && m_impl->format) {
        return;
    }
    m_impl->pattern = pattern;
    m_impl->cacheValid = false;
    if (!m_impl->format) {
        m_impl->rebuild();
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    m_impl->format->applyPattern(icu::UnicodeString::fromUTF8(pattern));
    if (U_FAILURE(status)) {
        m_impl->rebuild();
    }
}

void DateFormatter::setTimeZone(const std::optional<std::string>& name) {
    if (name == m_impl->zoneName && m_impl->zoneApplied) {
        return;
    }
    m_impl->zoneName = name;
    m_impl->zoneApplied = false;
}

void DateFormatter::setCalendar(const std::string& identifier) {
    if (identifier == m_impl->calendar) {
        return;
    }
    m_impl->calendar = identifier;
    m_impl->rebuild();
}

std::string DateFormatter::string(std::chrono::system_clock::time_point moment) {
    m_impl->applyZone();
    if (!m_impl->format) {
        return {};
    }
    const std::int64_t millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count();
    if (m_impl->cacheValid && m_impl->cachedMillis == millis) {
        return m_impl->cachedText;
    }
    icu::UnicodeString text;
    m_impl->format->format(static_cast<UDate>(millis), text);
    std::string utf8;
    text.toUTF8String(utf8);
    m_impl->cachedMillis = millis;
    m_impl->cachedText = utf8;
    m_impl->cacheValid = true;
    return utf8;
}

void DateFormatter::setLocalTimeZoneForTesting(const std::string& identifier) {
    icu::TimeZone::adoptDefault(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(identifier)));
}

}  // namespace tarnwick
