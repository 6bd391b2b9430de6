#include "Bootstrap/CommandLineOptions.h"
#include "Foundation/Bundle.h"
#include "Foundation/Process.h"
#include "Tools/BundleUtilities.h"

#include <gtest/gtest.h>

#include <map>

namespace tarnwick {
namespace {

using Request = CommandLineOptions::Request;

TEST(CommandLineOptions, HelpAndVersionAreFoundAmongOtherArguments) {
    const std::pair<std::vector<std::string>, Request> rows[] = {
        {{"tarnwick"}, Request::run},
        {{"tarnwick", "--help"}, Request::help},
        {{"tarnwick", "-h"}, Request::help},
        {{"tarnwick", "--version"}, Request::version},
        {{"tarnwick", "-platform", "offscreen", "--version", "--help"}, Request::version},
        // The program's own name is not an option.
        {{"--help"}, Request::run},
        {{"tarnwick", "--after-exit-of", "4321"}, Request::run},
    };
    for (const auto& [arguments, expected] : rows) {
        EXPECT_EQ(CommandLineOptions::parse(arguments), expected)
            << ::testing::PrintToString(arguments);
    }
}

TEST(CommandLineOptions, AWindowNeedsADisplayOrAPlatformChosenWithoutOne) {
    struct Row {
        const char* name;
        std::vector<std::string> arguments;
        std::map<std::string, std::string> environment;
        bool shows;
    };
    const Row rows[] = {
        {"nothing set", {"tarnwick"}, {}, false},
        {"empty display", {"tarnwick"}, {{"DISPLAY", ""}}, false},
        {"X11", {"tarnwick"}, {{"DISPLAY", ":0"}}, true},
        {"Wayland", {"tarnwick"}, {{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        {"offscreen chosen", {"tarnwick"}, {{"QT_QPA_PLATFORM", "offscreen"}}, true},
        {"offscreen with options", {"tarnwick"}, {{"QT_QPA_PLATFORM", "offscreen:size=1x1"}}, true},
        {"xcb chosen, no server", {"tarnwick"}, {{"QT_QPA_PLATFORM", "xcb"}}, false},
        {"xcb chosen", {"tarnwick"}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":1"}}, true},
        {"a list, second usable",
         {"tarnwick"},
         {{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":1"}},
         true},
        {"Wayland chosen, X11 only",
         {"tarnwick"},
         {{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":1"}},
         false},
        {"argument over environment",
         {"tarnwick", "-platform", "offscreen"},
         {{"QT_QPA_PLATFORM", "xcb"}},
         true},
        {"argument needing a server", {"tarnwick", "--platform", "xcb"}, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto problem = CommandLineOptions::missingDisplay(
            row.arguments, [&](const char* name) -> std::optional<std::string> {
                const auto found = row.environment.find(name);
                if (found == row.environment.end()) {
                    return std::nullopt;
                }
                return found->second;
            });
        EXPECT_EQ(!problem.has_value(), row.shows);
        if (problem) {
            EXPECT_EQ(problem->find('\n'), std::string::npos) << "one line";
        }
    }
}

// The program itself, started without any display.
ProcessOutcome runWithoutDisplay(std::vector<std::string> arguments) {
    ProcessRequest request;
    request.arguments = {"env",
                         "-u",
                         "DISPLAY",
                         "-u",
                         "WAYLAND_DISPLAY",
                         "-u",
                         "QT_QPA_PLATFORM",
                         TARNWICK_EXECUTABLE};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.timeLimit = std::chrono::seconds(60);
    const auto outcome = Process::run(request);
    EXPECT_TRUE(outcome);
    return outcome ? *outcome : ProcessOutcome{};
}

TEST(CommandLineOptions, TheProgramAnswersWithoutADisplay) {
    const auto help = runWithoutDisplay({"--help"});
    EXPECT_EQ(help.exitStatus, 0) << help.standardError;
    EXPECT_EQ(help.standardOutput, CommandLineOptions::helpText());

    const auto version = runWithoutDisplay({"--version"});
    EXPECT_EQ(version.exitStatus, 0) << version.standardError;
    const auto built = versionText(Bundle::forExecutable(TARNWICK_EXECUTABLE));
    ASSERT_TRUE(built);
    EXPECT_EQ(version.standardOutput, "Tarnwick " + *built + "\n");

    const auto window = runWithoutDisplay({});
    EXPECT_EQ(window.exitStatus, 1);
    EXPECT_EQ(window.standardOutput, "");
    EXPECT_EQ(window.standardError,
              "tarnwick: cannot show a window: no display is set (DISPLAY, WAYLAND_DISPLAY)\n");
}

}  // namespace
}  // namespace tarnwick
