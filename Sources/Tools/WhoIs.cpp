#include "WhoIs.h"

#include "CountryTopLevelDomains.h"
#include "Dispatch/DispatchQueue.h"
#include "Foundation/JSONReader.h"
#include "Network/HTTPSession.h"
#include "WhoisCache.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace tarnwick {

namespace {

constexpr int kMaximumAttempts = 6;
constexpr std::chrono::seconds kTimeout{60};
constexpr std::size_t kMaximumAnswerSize = 1024 * 1024;

// The characters an address may hold when it becomes one segment of the request's path. Anything
// else ("/", "?", "#", spaces, control characters) could change which resource is asked for, so
// such text forms no URL at all.
bool isAddressCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == ':' || c == '-' ||
           c == '_' || c == '~' || c == '%';
}

// A base URL of the form "http(s)://host.../" without spaces or control characters.
bool isValidService(const std::string& service) {
    const auto schemeEnd = service.find("://");
    if (schemeEnd == std::string::npos) {
        return false;
    }
    const std::string scheme = service.substr(0, schemeEnd);
    if (scheme != "https" && scheme != "http") {
        return false;
    }
    if (service.size() <= schemeEnd + 3 || service[schemeEnd + 3] == '/' || service.back() != '/') {
        return false;
    }
    return std::none_of(service.begin(), service.end(), [](char c) {
        return std::iscntrl(static_cast<unsigned char>(c)) || c == ' ' || c == '#' || c == '?';
    });
}

std::string upperCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isLocalIPv4(std::uint32_t hostOrder) {
    return (hostOrder >> 24) == 127 || (hostOrder >> 16) == 0xA9FE;  // 127/8, 169.254/16
}

}  // namespace

struct WhoIs::State {
    explicit State(std::string base)
        : service(std::move(base)), serviceIsValid(isValidService(service)) {}

    const std::string service;
    const bool serviceIsValid;
    // Completions of the service's answers come here first, to be parsed off the main thread.
    HTTPSession session{DispatchQueue::global()};
};

WhoIs::ParseError::ParseError(Failure failure)
    : std::runtime_error("unusable geo-IP answer"), m_failure(failure) {}

std::string WhoIs::defaultService() {
    return "https://" + std::string(serviceHost) + "/";
}

WhoIs::WhoIs() : WhoIs(defaultService()) {}

WhoIs::WhoIs(std::string service) : m_state(std::make_shared<State>(std::move(service))) {}

// A lookup in flight keeps the state, and so the session, until it has delivered.
WhoIs::~WhoIs() = default;

bool WhoIs::formsURL(const std::string& address) const {
    // "." and ".." would be read as steps within the path, not as an address.
    return m_state->serviceIsValid && !address.empty() && address != "." && address != ".." &&
           std::all_of(address.begin(), address.end(), isAddressCharacter);
}

void WhoIs::invalidateAndCancel() {
    m_state->session.invalidateAndCancel();
}

std::optional<std::string> WhoIs::url(const std::string& address) const {
    if (!formsURL(address)) {
        return std::nullopt;
    }
    std::string text = m_state->service + "v1/geoip/ip/";
    for (const char c : address) {
        // An IPv6 zone ("fe80::1%eth0") keeps its "%" as an escaped character.
        if (c == '%') {
            text += "%25";
        } else {
            text += c;
        }
    }
    text += "/info";
    return text;
}

namespace {

void deliverOnMain(std::optional<WhoIs::Response> answer, const std::string& address,
                   WhoIs::Completion completion) {
    DispatchQueue::main()->async(
        [answer = std::move(answer), address, completion = std::move(completion)] {
            if (answer) {
                WhoisCache::shared().store(*answer, address);
            }
            completion(answer);
        });
}

}  // namespace

void WhoIs::lookup(const std::string& ipAddress, const std::optional<std::string>& url,
                   Completion completion) const {
    // The URL itself is only built when the service is asked: cached answers stay cheap.
    if (!formsURL(ipAddress)) {
        completion(std::nullopt);
        return;
    }
    if (auto cached = WhoisCache::shared().response(ipAddress)) {
        completion(std::move(cached));
        return;
    }
    if (isLocalAddress(ipAddress)) {
        completion(Response{ipAddress, "local", std::nullopt, true});
        return;
    }
    ask(m_state, *this->url(ipAddress), ipAddress, url, std::move(completion), kMaximumAttempts);
}

void WhoIs::ask(const std::shared_ptr<State>& state, std::string requestURL, std::string address,
                std::optional<std::string> host, Completion completion, int attemptsLeft) {
    HTTPRequest request;
    request.url = requestURL;
    request.timeout = kTimeout;
    request.maximumResponseSize = kMaximumAnswerSize;
    state->session.send(
        request, [state, requestURL, address, host, completion, attemptsLeft](HTTPResult result) {
            if (const HTTPError* error = result.error()) {
                // The status code is not examined: only a transfer that failed is tried again. A
                // session that was ended cancels its transfers; those are not tried again.
                if (attemptsLeft > 1 && error->code != HTTPError::Code::cancelled) {
                    ask(state, requestURL, address, host, completion, attemptsLeft - 1);
                } else {
                    deliverOnMain(std::nullopt, address, completion);
                }
                return;
            }
            std::optional<WhoIs::Response> answer;
            try {
                answer = WhoIs::parse(result.response()->body, address, host);
            } catch (const std::exception&) {
                // An answer that does not parse is no answer; it is not asked again.
            }
            deliverOnMain(std::move(answer), address, completion);
        });
}

WhoIs::Response WhoIs::parse(std::string_view data, const std::string& address,
                             const std::optional<std::string>& host) {
    auto parsed = JSONReader::parse(data, 16);
    if (!parsed) {
        throw ParseError(Failure::invalidPayload);
    }
    const auto& json = *parsed;
    if (!json.is_object()) {
        throw ParseError(Failure::invalidPayload);
    }
    const auto country = json.find("country");
    if (country == json.end() || !country->is_object()) {
        throw ParseError(Failure::invalidCountrySection);
    }
    const auto isoCode = country->find("isoCode");
    if (isoCode == country->end() || !isoCode->is_string() ||
        isoCode->get_ref<const std::string&>().empty()) {
        throw ParseError(Failure::missingCountryCode);
    }
    const std::string& code = isoCode->get_ref<const std::string&>();

    if (host) {
        if (const auto entry = countryForTopLevelDomain(*host);
            entry && lowerCased(entry->first) != lowerCased(code)) {
            return Response{address, upperCased(entry->first), std::nullopt, false};
        }
    }

    std::optional<Response::Coordinates> coordinates;
    if (const auto city = json.find("city"); city != json.end() && city->is_object()) {
        const auto lat = city->find("lat");
        const auto lon = city->find("long");
        if (lat != city->end() && lon != city->end() && lat->is_number() && lon->is_number()) {
            coordinates = Response::Coordinates{lat->get<double>(), lon->get<double>()};
        }
    }
    return Response{address, upperCased(code), coordinates, false};
}

bool WhoIs::isLocalAddress(const std::string& address) {
    if (address.find('\0') != std::string::npos) {
        return false;
    }
    // Any text with a colon is an IPv6 address, whether or not it shortens zeros with "::".
    if (address.find(':') != std::string::npos) {
        std::string text = address.substr(0, address.find('%'));  // without its zone
        in6_addr parsed{};
        if (inet_pton(AF_INET6, text.c_str(), &parsed) != 1) {
            return false;
        }
        if (IN6_IS_ADDR_LOOPBACK(&parsed) || IN6_IS_ADDR_LINKLOCAL(&parsed)) {
            return true;
        }
        if (IN6_IS_ADDR_V4MAPPED(&parsed)) {
            std::uint32_t mapped = 0;
            std::memcpy(&mapped, &parsed.s6_addr[12], sizeof(mapped));
            return isLocalIPv4(ntohl(mapped));
        }
        return false;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        return false;
    }
    return isLocalIPv4(ntohl(parsed.s_addr));
}

std::string_view WhoIs::hostPart(std::string_view text) {
    std::string_view rest = text;
    if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) {
        rest.remove_prefix(scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        rest.remove_prefix(at + 1);
    }
    if (!rest.empty() && rest.front() == '[') {
        rest = rest.substr(0, rest.find(']') + 1);  // an IPv6 literal keeps its colons
    } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
        rest = rest.substr(0, colon);
    }
    if (!rest.empty() && rest.back() == '.') {
        rest.remove_suffix(1);  // a fully qualified name's final dot
    }
    return rest;
}

std::optional<std::pair<std::string, std::string>> WhoIs::countryForTopLevelDomain(
    const std::string& text) {
    // Only the host counts: a path's file names ("readme.md", "setup.sh") and folders are no
    // country's domain.
    const std::string_view host = hostPart(text);
    for (const auto& [code, domain] : countryTopLevelDomains()) {
        if (host.size() >= domain.size() &&
            host.compare(host.size() - domain.size(), domain.size(), domain) == 0) {
            return std::pair{code, domain};
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
