#include "CloudLoggingDestination.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>

namespace tarnwick {

namespace {

using Json = nlohmann::json;

// A value as the JSON writer can hold it; nothing for what JSON has no form for (bytes and numbers
// that are not finite), so such an entry fails as a whole instead of being quietly changed.
std::optional<Json> jsonValue(const Value& value) {
    if (value.isNull()) {
        return Json(nullptr);
    }
    if (auto flag = value.asBool()) {
        return Json(*flag);
    }
    if (auto integer = value.asInteger()) {
        return Json(*integer);
    }
    if (auto text = value.asString()) {
        return Json(*text);
    }
    if (value.asData()) {
        return std::nullopt;
    }
    if (const auto* array = value.asArray()) {
        Json result = Json::array();
        for (const auto& element : *array) {
            auto converted = jsonValue(element);
            if (!converted) {
                return std::nullopt;
            }
            result.push_back(std::move(*converted));
        }
        return result;
    }
    if (const auto* dictionary = value.asDictionary()) {
        Json result = Json::object();
        for (const auto& [key, member] : *dictionary) {
            auto converted = jsonValue(member);
            if (!converted) {
                return std::nullopt;
            }
            result[key] = std::move(*converted);
        }
        return result;
    }
    const auto real = value.asReal();
    if (real && std::isfinite(*real)) {
        return Json(*real);
    }
    return std::nullopt;
}

// Text that is not UTF-8 keeps its readable part; the broken bytes become U+FFFD.
std::string serialised(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

CloudLoggingDestination::CloudLoggingDestination(std::string serviceName, const WallClock& clock)
    : BaseDestination(clock), m_serviceName(std::move(serviceName)) {}

const char* CloudLoggingDestination::severity(LogLevel level) {
    switch (level) {
        case LogLevel::verbose:
        case LogLevel::debug:
            return "DEBUG";
        case LogLevel::info:
            return "INFO";
        case LogLevel::warning:
            return "WARNING";
        case LogLevel::error:
            break;
    }
    return "ERROR";
}

std::optional<std::string> CloudLoggingDestination::send(LogLevel level, const std::string& message,
                                                         const std::string& /*thread*/,
                                                         const std::string& file,
                                                         const std::string& function, long line,
                                                         const LogValue& context) {
    Json contextObject = {
        {"reportLocation", {{"filePath", file}, {"lineNumber", line}, {"functionName", function}}},
    };
    bool representable = true;
    if (const auto* values = context.asDictionary(); values != nullptr && !values->empty()) {
        if (auto found = values->find("httpRequest");
            found != values->end() && found->second.asDictionary() != nullptr) {
            auto request = jsonValue(found->second);
            representable = request.has_value();
            if (request) {
                contextObject["httpRequest"] = std::move(*request);
            }
        }
        if (auto found = values->find("user"); found != values->end()) {
            if (auto user = found->second.asString()) {
                contextObject["user"] = *user;
            }
        }
    }
    std::string text;
    if (representable) {
        const Json entry = {
            {"serviceContext", {{"service", m_serviceName}}},
            {"message", message},
            {"severity", severity(level)},
            {"context", std::move(contextObject)},
        };
        text = serialised(entry);
    } else {
        text = failureLine(file, function, line);
    }
    printLine(text);
    return text;
}

std::string CloudLoggingDestination::failureLine(const std::string& file,
                                                 const std::string& function, long line) {
    // Written by hand in a fixed order, but every text it carries is escaped as JSON.
    return "{\"context\":{\"reportLocation\":{\"filePath\": " + serialised(Json(file)) +
           ",\"functionName\":" + serialised(Json(function)) +
           ",\"lineNumber\":" + std::to_string(line) +
           "}},\"severity\":\"CRITICAL\",\"message\":\"Error encoding JSON log entry. You may be "
           "losing log messages!\"}";
}

}  // namespace tarnwick
