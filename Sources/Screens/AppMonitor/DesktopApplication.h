#pragma once

#include "ApplicationOrigin.h"
#include "LocalApplication.h"

#include <memory>

namespace tarnwick {

struct AppStreamComponent;

// An application of the desktop, from its desktop entry (or an AppImage file) and what the local
// software catalog says of it. Its evidence answers the same questions as a bundle's: the
// desktop-file ID is its identifier, the catalog's record is its store record, the catalog's
// languages are its localizations, and its ELF executable gives the strings.
class DesktopApplication final : public LocalApplication {
public:
    struct Fields {
        std::filesystem::path entryFile;
        std::string identifier;
        std::string title;
        std::optional<std::filesystem::path> executable;
        std::optional<std::string> copyright;
        ApplicationOrigin origin;
    };

    // The record, with the catalog's component when there is one.
    static std::shared_ptr<DesktopApplication> make(Fields fields,
                                                    const AppStreamComponent* component);

    const std::filesystem::path& bundleURL() const override { return m_fields.entryFile; }
    const std::string& bundleID() const override { return m_fields.identifier; }
    const std::filesystem::path& imageURL() const override { return m_fields.entryFile; }
    const std::string& title() const override { return m_fields.title; }
    const std::optional<std::string>& feedURL() const override { return m_feedURL; }
    const std::vector<std::string>& localizations() const override { return m_localizations; }
    const std::optional<std::string>& copyrightString() const override {
        return m_fields.copyright;
    }

    std::filesystem::path codeURL() const override {
        return m_fields.executable.value_or(std::filesystem::path());
    }
    // ELF executables carry no signature to read.
    bool mayCarryCodeSignature() const override { return false; }
    ApplicationOrigin origin() const override { return m_fields.origin; }

    // The store record made from a catalog component.
    static AppStoreLookupResult::StoreApplication storeRecord(const AppStreamComponent& component,
                                                              const std::string& identifier);

private:
    Fields m_fields;
    std::optional<std::string> m_feedURL;
    std::vector<std::string> m_localizations;
};

}  // namespace tarnwick
