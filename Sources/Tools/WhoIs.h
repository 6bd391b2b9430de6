#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace tarnwick {

// Finds the country, and where the answer gives them the coordinates, of an IP address by asking
// the geo-IP web service. Lookup, in this order:
//   1. an address that cannot form a request URL gets no answer;
//   2. an address answered before gets the process-wide cached answer;
//   3. a loopback or link-local address gets the local answer, without any request;
//   4. otherwise the service is asked (a failed transfer is tried again, up to six attempts in
//      all; an answer that does not parse is not), the answer is cached and handed over.
// Steps 1 to 3 call the completion at once on the calling thread; step 4 calls it on the main
// queue. The completion is called exactly once; a failure arrives as no answer.
//
// The URL that a flow belongs to may override the answer's country with the country of its
// top-level domain; the overridden answer is what the cache keeps.
class WhoIs {
public:
    struct Response {
        struct Coordinates {
            double lat = 0;
            double lon = 0;

            bool operator==(const Coordinates&) const = default;
        };

        // The address looked up, exactly as passed.
        std::string ip;
        // An upper-case ISO 3166-1 alpha-2 code, or "local".
        std::string country;
        std::optional<Coordinates> coordinates;
        bool isLocal = false;

        bool operator==(const Response&) const = default;
    };

    enum class Failure { invalidPayload, invalidCountrySection, missingCountryCode };

    // Thrown by `parse`; never leaves `lookup`.
    class ParseError : public std::runtime_error {
    public:
        explicit ParseError(Failure failure);
        Failure failure() const { return m_failure; }

    private:
        Failure m_failure;
    };

    using Completion = std::function<void(std::optional<Response>)>;

    // The host of the geo-IP service, without scheme or path.
    static constexpr std::string_view serviceHost = "geoip.brenlow-works.com";
    // The base URL of the production service: "https://", the host and "/".
    static std::string defaultService();

    WhoIs();
    // `service` is a base URL with its trailing "/".
    explicit WhoIs(std::string service);
    ~WhoIs();
    WhoIs(const WhoIs&) = delete;
    WhoIs& operator=(const WhoIs&) = delete;

    // `url` is the text whose top-level domain may override the country; none for no override.
    void lookup(const std::string& ipAddress, const std::optional<std::string>& url,
                Completion completion) const;

    // Cancels the requests in flight (their lookups complete with no answer) and refuses new ones,
    // so nothing of ours is still talking to the service while the application quits.
    void invalidateAndCancel();

    // The service base + "v1/geoip/ip/" + address + "/info"; none when that is no valid URL.
    std::optional<std::string> url(const std::string& address) const;

    static Response parse(std::string_view data, const std::string& address,
                          const std::optional<std::string>& host);
    // Loopback (127.0.0.0/8, ::1) and link-local (169.254.0.0/16, fe80::/10) addresses, also
    // written as IPv4-mapped IPv6 addresses or with an IPv6 zone. Private ranges are not local.
    static bool isLocalAddress(const std::string& address);
    // The first entry of the top-level-domain table whose domain ends the host part of a URL or
    // host text (case-sensitive): the country code and its domain.
    static std::optional<std::pair<std::string, std::string>> countryForTopLevelDomain(
        const std::string& text);
    // The host of a URL ("https://user@shop.example.ua:8443/x" gives "shop.example.ua"), or of a
    // host text with or without a path.
    static std::string_view hostPart(std::string_view text);

private:
    struct State;

    bool formsURL(const std::string& address) const;

    static void ask(const std::shared_ptr<State>& state, std::string requestURL,
                    std::string address, std::optional<std::string> host, Completion completion,
                    int attemptsLeft);

    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
