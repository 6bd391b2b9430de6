#include "AppStream/AppStreamCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarnwick {
namespace {

std::vector<std::string> ids(const std::vector<AppStreamComponent>& components) {
    std::vector<std::string> found;
    for (const auto& component : components) {
        found.push_back(component.id);
    }
    return found;
}

const std::set<std::string> kWanted = {"org.example.Wanted", "launched-by-entry"};

TEST(AppStreamCatalogTests, OnlyTheWantedComponentsOfAnXMLCatalogAreParsed) {
    const std::string catalog = R"(<?xml version="1.0"?>
<components version="0.14" origin="remote">
  <component type="desktop-application">
    <id>org.example.Other</id><name>Other</name><summary>x</summary>
  </component>
  <component type="desktop-application">
    <id>org.example.Wanted</id><name>Wanted</name><summary>x</summary>
    <developer_name>Maker</developer_name>
  </component>
  <component type="desktop-application">
    <id>org.example.Launched</id><name>Launched</name><summary>x</summary>
    <launchable type="desktop-id">launched-by-entry.desktop</launchable>
  </component>
  <component type="desktop-application">
    <id>org.example.Unterminated</id>
)";
    const auto kept = AppStreamCatalog::wantedXMLComponents(catalog, kWanted);
    EXPECT_EQ(kept.find("org.example.Other"), std::string::npos);
    const auto parsed = AppStreamCatalog::parse(kept, true, false);
    EXPECT_EQ(ids(parsed),
              (std::vector<std::string>{"org.example.Wanted", "org.example.Launched"}));
    ASSERT_FALSE(parsed.empty());
    EXPECT_EQ(parsed[0].developerName, "Maker");
}

TEST(AppStreamCatalogTests, OnlyTheWantedDocumentsOfAYAMLCatalogAreParsed) {
    const std::string catalog = R"(---
File: DEP-11
Version: '0.14'
Origin: debian-bookworm-main
---
Type: desktop-application
ID: org.example.Other
Name:
  C: Other
Summary:
  C: x
---
Type: desktop-application
ID: org.example.Wanted
Package: wanted-tool
Name:
  C: Wanted
Summary:
  C: x
---
Type: desktop-application
ID: org.example.Launched
Name:
  C: Launched
Summary:
  C: x
Launchable:
  desktop-id:
  - launched-by-entry.desktop
)";
    const auto kept = AppStreamCatalog::wantedYAMLDocuments(catalog, kWanted);
    EXPECT_EQ(kept.find("org.example.Other"), std::string::npos);
    const auto parsed = AppStreamCatalog::parse(kept, true, true);
    EXPECT_EQ(ids(parsed),
              (std::vector<std::string>{"org.example.Wanted", "org.example.Launched"}));
    ASSERT_FALSE(parsed.empty());
    EXPECT_EQ(parsed[0].packageName, "wanted-tool");
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

TEST(AppStreamCatalogTests, OnlyACatalogOrMetainfoDocumentReachesTheLibrary) {
    const std::string component =
        "<component type=\"desktop-application\"><id>org.example.Wanted</id><name>Wanted</name>"
        "<summary>x</summary></component>";
    struct Row {
        const char* name;
        std::string document;
        std::vector<std::string> expected;
        bool collection = false;
    };
    const Row rows[] = {
        {"metainfo after a mark, a declaration, a comment and a document type",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- c > d -->\n<!DOCTYPE component [<!ENTITY x "
         "\"y\">]>\n" +
             component,
         {"org.example.Wanted"}},
        {"a catalog",
         "<components version=\"0.14\">" + component + "</components>",
         {"org.example.Wanted"},
         true},
        {"another root around a component", "<html><body>" + component + "</body></html>", {}},
        {"a root whose name only begins alike", "<componentsx>" + component + "</componentsx>", {}},
        {"no element at all", "<?xml version=\"1.0\"?><!-- nothing -->", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ids(AppStreamCatalog::parse(row.document, row.collection, false)), row.expected);
    }
}

TEST(AppStreamCatalogTests, LanguagesComeOnceEachAndSorted) {
    std::string languages;
    for (int index = 0; index < 2000; ++index) {
        // Two thousand locales of twenty languages, each language under many regions.
        languages +=
            "<lang>l" + std::to_string(index % 20) + "_R" + std::to_string(index) + "</lang>";
    }
    const auto parsed = AppStreamCatalog::parse(
        "<component type=\"desktop-application\"><id>org.example.Many</id><name>Many</name>"
        "<summary>x</summary><languages>" +
            languages +
            "<lang>de</lang><lang>pt_BR</lang><lang>pt_PT</lang></languages></component>",
        false, false);
    ASSERT_EQ(parsed.size(), 1u);
    std::vector<std::string> expected = {"de", "pt"};
    for (int index = 0; index < 20; ++index) {
        expected.push_back("l" + std::to_string(index));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(parsed[0].languages, expected);
}

}  // namespace
}  // namespace tarnwick
