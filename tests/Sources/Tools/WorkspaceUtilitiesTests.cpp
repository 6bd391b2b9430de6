#include "Platform/Workspace/FakeProcesses.h"
#include "Tools/WorkspaceUtilities.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using testing::FakeProcesses;

class WorkspaceUtilities : public ::testing::Test {
protected:
    WorkspaceUtilities() {
        m_fake.process(20, m_fake
                               .bundle("Safari", {{"CFBundleIdentifier", Value("com.apple.Safari")},
                                                  {"CFBundleName", Value("Safari")}})
                               .string());
        const auto editor =
            m_fake.bundle("Editor", {{"CFBundleIdentifier", Value("org.example.Editor")},
                                     {"CFBundleName", Value("Editor")}});
        m_fake.process(30, editor.string());
        m_fake.process(31, editor.string());
    }

    FakeProcesses m_fake;
    Workspace m_workspace{m_fake.configuration()};
};

TEST_F(WorkspaceUtilities, LooksUpTheFirstApplicationWithExactlyThatIdentifier) {
    EXPECT_EQ(runningApplication(m_workspace, std::nullopt), std::nullopt);
    EXPECT_EQ(runningApplication(m_workspace, "org.example.Editor")->processIdentifier, 30);
    EXPECT_EQ(runningApplication(m_workspace, "org.example.editor"), std::nullopt);
    EXPECT_EQ(runningApplication(m_workspace, "org.example.Missing"), std::nullopt);
    EXPECT_EQ(runningApplication(m_workspace, ""), std::nullopt);
}

TEST_F(WorkspaceUtilities, WebContentNetworkingStandsForTheBrowser) {
    for (const char* identifier : {"com.apple.webkit.networking", "COM.APPLE.WEBKIT.NETWORKING",
                                   "com.apple.WebKit.Networking", "com.apple.Safari"}) {
        SCOPED_TRACE(identifier);
        const auto browser = runningApplication(m_workspace, identifier);
        ASSERT_TRUE(browser);
        EXPECT_EQ(browser->localizedName, "Safari");
    }
    EXPECT_EQ(runningApplication(m_workspace, "com.apple.safari"), std::nullopt);
}

TEST_F(WorkspaceUtilities, RowsNameRunningApplicationsElseShowTheIdentifier) {
    EXPECT_EQ(applicationName(m_workspace, "org.example.Editor"), "Editor");
    EXPECT_EQ(applicationName(m_workspace, "org.example.Gone"), "org.example.Gone");
    // Naming a whole list from one look at the processes gives the same names.
    const RunningApplicationNames names(m_workspace);
    for (const char* identifier : {"org.example.Editor", "org.example.editor", "org.example.Gone",
                                   "COM.APPLE.WEBKIT.NETWORKING", "com.apple.safari", ""}) {
        SCOPED_TRACE(identifier);
        EXPECT_EQ(names.applicationName(identifier), applicationName(m_workspace, identifier));
    }
}

}  // namespace
}  // namespace tarnwick
