#include "AppStream/AppStreamCatalog.h"

#include <gtest/gtest.h>

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
