#pragma once

#include "Foundation/Result.h"

#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

class HTTPSession;

// Our stand-in for the outside update framework: reads a small update feed over HTTPS and says
// what it found. The feed is a JSON object {"version": "1.2.0", "url": "https://..."}; anything
// else, a missing network or a failing server gives a clear outcome, never a crash.
class UpdateChecker {
public:
    // The build's deployment value; empty when the build has no update feed.
    static constexpr const char* productionFeed = TARNWICK_UPDATE_FEED;
    static constexpr const char* notConfiguredMessage =
        "Updates are not configured for this build.";
    static constexpr std::size_t maximumFeedSize = 64 * 1024;

    struct Outcome {
        enum class Kind { upToDate, updateAvailable, noNetwork, failed, notConfigured };
        Kind kind = Kind::failed;
        std::string latestVersion;
        std::string downloadURL;
        // What the user is told.
        std::string message;
    };

    struct Release {
        std::string version;
        std::string url;
    };

    UpdateChecker(std::string feedURL, std::string currentVersion,
                  std::shared_ptr<HTTPSession> session);

    // The completion runs once, on the main queue.
    void check(std::function<void(Outcome)> completion) const;

    // Hostile input: bounded, and an error for anything that is not a release description.
    static Result<Release, std::string> parseFeed(const std::string& body);
    // Dotted numeric versions ("1.10.2" > "1.9"); a "-beta" suffix counts below the release.
    static int compareVersions(const std::string& a, const std::string& b);
    static Outcome outcome(const Release& release, const std::string& currentVersion);

private:
    std::string m_feedURL;
    std::string m_currentVersion;
    std::shared_ptr<HTTPSession> m_session;
};

}  // namespace tarnwick
