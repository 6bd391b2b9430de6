#pragma once

#include "LocalApplication.h"

#include <memory>

namespace tarnwick {

// An application record read from its bundle folder and "Contents/Info.plist" (XML or binary).
class LocalApplicationImpl final : public LocalApplication {
public:
    // Nothing when the Info.plist cannot be read as a dictionary or has no text
    // "CFBundleIdentifier".
    static std::shared_ptr<LocalApplicationImpl> make(const std::filesystem::path& bundleURL);

    const std::filesystem::path& bundleURL() const override { return m_bundleURL; }
    const std::string& bundleID() const override { return m_bundleID; }
    const std::filesystem::path& imageURL() const override { return m_bundleURL; }
    const std::string& title() const override { return m_title; }
    const std::optional<std::string>& feedURL() const override { return m_feedURL; }
    const std::vector<std::string>& localizations() const override { return m_localizations; }
    const std::optional<std::string>& copyrightString() const override { return m_copyright; }

private:
    std::filesystem::path m_bundleURL;
    std::string m_bundleID;
    std::string m_title;
    std::optional<std::string> m_feedURL;
    std::vector<std::string> m_localizations;
    std::optional<std::string> m_copyright;
};

}  // namespace tarnwick
