#include "Shell/UpdateChecker.h"

#include "Dispatch/DispatchQueue.h"
#include "Foundation/JSONReader.h"
#include "Network/HTTPSession.h"

#include <nlohmann/json.hpp>

namespace tarnwick {

namespace {

std::vector<long> numericParts(const std::string& version, bool& prerelease) {
    std::vector<long> parts;
    const std::size_t dash = version.find('-');
    prerelease = dash != std::string::npos;
    const std::string core = version.substr(0, dash);
    std::size_t start = 0;
    while (start <= core.size()) {
        const std::size_t dot = core.find('.', start);
        const std::string piece =
            core.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        long value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9' || value > 1'000'000) {
                break;
            }
            value = value * 10 + (c - '0');
        }
        parts.push_back(value);
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts;
}

}  // namespace

UpdateChecker::UpdateChecker(std::string feedURL, std::string currentVersion,
                             std::shared_ptr<HTTPSession> session)
    : m_feedURL(std::move(feedURL))
    , m_currentVersion(std::move(currentVersion))
    , m_session(std::move(session)) {}

void UpdateChecker::check(std::function<void(Outcome)> completion) const {
    if (m_feedURL.empty()) {
        // Not the user's network: this build was made without a feed to ask.
        Outcome outcome;
        outcome.kind = Outcome::Kind::notConfigured;
        outcome.message = notConfiguredMessage;
        DispatchQueue::main()->async([completion, outcome] { completion(outcome); });
        return;
    }
    HTTPRequest request;
    request.url = m_feedURL;
    request.timeout = std::chrono::seconds(15);
    request.maximumResponseSize = maximumFeedSize;
    const std::string current = m_currentVersion;
    m_session->send(request, [completion, current](HTTPResult result) {
        Outcome outcome;
        if (const HTTPError* error = result.error()) {
            const bool offline = error->code == HTTPError::Code::cannotConnect ||
                                 error->code == HTTPError::Code::cannotResolveHost ||
                                 error->code == HTTPError::Code::timedOut;
            outcome.kind = offline ? Outcome::Kind::noNetwork : Outcome::Kind::failed;
            outcome.message = offline
                                  ? "Can't check for updates: there is no connection to the "
                                    "update server. Check your network and try again."
                                  : "Can't check for updates right now. Please try again later.";
        } else if (result.response()->statusCode != 200) {
            outcome.message = "Can't check for updates right now. Please try again later.";
        } else if (auto release = parseFeed(result.response()->body); !release) {
            outcome.message = "Can't check for updates right now. Please try again later.";
        } else {
            outcome = UpdateChecker::outcome(release.value(), current);
        }
        DispatchQueue::main()->async([completion, outcome] { completion(outcome); });
    });
}

Result<UpdateChecker::Release, std::string> UpdateChecker::parseFeed(const std::string& body) {
    if (body.size() > maximumFeedSize) {
        return Failure{std::string("The update feed is too large.")};
    }
    // The feed is one flat object: a parse error or any deeper nesting is an answer, not an
    // exception.
    const auto parsed = JSONReader::parse(body, 4);
    if (!parsed || !parsed->is_object()) {
        return Failure{std::string("The update feed is not a JSON object.")};
    }
    const auto& feed = *parsed;
    const auto version = feed.find("version");
    const auto url = feed.find("url");
    if (version == feed.end() || !version->is_string() || version->get<std::string>().empty() ||
        version->get<std::string>().size() > 64) {
        return Failure{std::string("The update feed has no version.")};
    }
    if (url == feed.end() || !url->is_string() ||
        url->get<std::string>().rfind("https://", 0) != 0) {
        return Failure{std::string("The update feed has no secure download address.")};
    }
    return Release{version->get<std::string>(), url->get<std::string>()};
}

int UpdateChecker::compareVersions(const std::string& a, const std::string& b) {
    bool aPre = false, bPre = false;
    std::vector<long> left = numericParts(a, aPre);
    std::vector<long> right = numericParts(b, bPre);
    const std::size_t count = std::max(left.size(), right.size());
    left.resize(count, 0);
    right.resize(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (left[i] != right[i]) {
            return left[i] < right[i] ? -1 : 1;
        }
    }
    if (aPre != bPre) {
        return aPre ? -1 : 1;
    }
    return 0;
}

UpdateChecker::Outcome UpdateChecker::outcome(const Release& release,
                                              const std::string& currentVersion) {
    Outcome result;
    result.latestVersion = release.version;
    result.downloadURL = release.url;
    if (compareVersions(release.version, currentVersion) > 0) {
        result.kind = Outcome::Kind::updateAvailable;
        result.message =
            "Tarnwick " + release.version + " is available (you have " + currentVersion + ").";
    } else {
        result.kind = Outcome::Kind::upToDate;
        result.message = "Tarnwick " + currentVersion + " is the newest version.";
    }
    return result;
}

}  // namespace tarnwick
