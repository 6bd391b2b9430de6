#include "AppMonitorTestSupport.h"
#include "Dispatch/DispatchGroup.h"
#include "Screens/AppMonitor/BinaryStringsParserImpl.h"
#include "Screens/AppMonitor/LocalApplicationsAnalyserImpl.h"
#include "support/SigningFixture.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <unordered_set>

namespace tarnwick {
namespace {

using namespace tarnwick::testing;
using Case = DetectionReason::Case;
using Record = AppStoreLookupResult::StoreApplication;

Record storeRecord(std::string title) {
    Record record;
    record.title = std::move(title);
    record.bundleID = "com.example.tool";
    return record;
}

const Country& russia() {
    static const Country country("RU");
    return country;
}
const Country& belarus() {
    static const Country country("BY");
    return country;
}

struct CheckCase {
    const char* name;
    std::vector<std::string> targets;
    Case rule;
    std::function<void(BundleFixture&)> bundle;
    std::function<void(LocalApplication&)> enrich;
    std::vector<DetectionReason> expected;
};

std::unordered_set<DetectionReason> asSet(const std::vector<DetectionReason>& reasons) {
    return {reasons.begin(), reasons.end()};
}

class AnalyserTest : public ::testing::Test {
protected:
    std::shared_ptr<PUApplication> analyseOne(const CheckCase& c) {
        BundleFixture bundle;
        bundle.info["CFBundleIdentifier"] = "com.example.tool";
        if (c.bundle) {
            c.bundle(bundle);
        }
        auto app = application(m_folder.path(), bundle);
        EXPECT_NE(app, nullptr);
        if (c.enrich) {
            c.enrich(*app);
        }
        FixedCountries countries(c.targets);
        auto analyser = std::make_shared<LocalApplicationsAnalyserImpl>(
            std::make_shared<BinaryStringsParserImpl>(), countries);
        std::vector<DenyListProvider::Entry> denyList = {
            {"ExAmPlE.TOOL", "Sends data away", "A longer story", "https://example.org/why"},
            {"tool", "Second entry", std::nullopt, std::nullopt}};
        auto result = analyser->analyse(
            app, denyList,
            {RestrictionPreference(DetectionReason::allCases()[static_cast<std::size_t>(c.rule)])});
        std::filesystem::remove_all(m_folder.path() / bundle.name);
        return result;
    }

    TemporaryDirectory m_folder;
};

TEST_F(AnalyserTest, EachCheckAgainstTheTargetCountries) {
    const CertificateChain chain({{{"RU"}, "Developer ID Application: Sample", "ABCDE12345"},
                                  {{"US"}, "Authority", std::nullopt}});
    CodeDirectorySpec signed_;
    signed_.teamIdentifier = "ABCDE12345";
    MachOFixtureImage signedImage;
    signedImage.codeSignature = buildIdentitySignature(chain, signed_);
    const auto signedExecutable = buildThinMachO(signedImage);
    MachOFixtureImage adHocImage;
    adHocImage.codeSignature = buildAdHocSignature("com.example.tool");
    const auto adHocExecutable = buildThinMachO(adHocImage);

    const auto withStore = [](std::function<void(Record&)> edit) {
        return [edit](LocalApplication& app) {
            auto record = storeRecord("Tool");
            edit(record);
            app.setAppStoreInfo(record);
        };
    };
    const auto withBundleID = [](std::string id) {
        return [id](BundleFixture& bundle) { bundle.info["CFBundleIdentifier"] = id; };
    };
    const auto withLocalizations = [](std::vector<std::string> languages) {
        return [languages](BundleFixture& bundle) { bundle.localizations = languages; };
    };
    const auto withStrings = [](std::vector<std::string> strings) {
        return [strings](BundleFixture& bundle) { bundle.executable = executableWith(strings); };
    };
    const std::string russian = russia().languageName();

    const std::vector<CheckCase> cases = {
        {"deny list: first entry, letter case aside",
         {"RU"},
         Case::custom,
         {},
         {},
         {DetectionReason::custom("Sends data away")}},
        {"bundle identifier names a target domain",
         {"RU", "BY"},
         Case::bundleID,
         withBundleID("by.company.tool"),
         {},
         {DetectionReason::bundleID("by")}},
        {"two letters inside a word are no domain",
         {"BY"},
         Case::bundleID,
         withBundleID("com.bytes.baby"),
         {},
         {}},
        {"seller site on a target domain",
         {"BY"},
         Case::sellerUrl,
         {},
         withStore([](Record& r) { r.sellerUrl = "https://SHOP.example.by/"; }),
         {DetectionReason::sellerUrl("https://SHOP.example.by/")}},
        {"seller on the social network with RU",
         {"RU"},
         Case::socialNetworkDomain,
         {},
         withStore([](Record& r) { r.sellerUrl = "https://vk.com/tool"; }),
         {DetectionReason::socialNetworkDomain()}},
        {"social network without RU",
         {"BY"},
         Case::socialNetworkDomain,
         {},
         withStore([](Record& r) { r.sellerUrl = "https://vk.com/tool"; }),
         {}},
        {"store title in the target language",
         {"RU"},
         Case::appStoreTitle,
         {},
         withStore([](Record& r) { r.title = "Калькулятор для бухгалтерии"; }),
         {DetectionReason::appStoreTitle(russian)}},
        {"store languages RU alone: description",
         {"RU"},
         Case::appStoreDescription,
         {},
         withStore([](Record& r) { r.languageCodesISO2A = std::vector<std::string>{"RU"}; }),
         {DetectionReason::appStoreDescription(russian)}},
        {"store languages EN and RU: not description",
         {"RU"},
         Case::appStoreDescription,
         {},
         withStore([](Record& r) {
             r.languageCodesISO2A = std::vector<std::string>{"EN", "RU"};
         }),
         {}},
        {"store languages EN and RU: secondary",
         {"RU"},
         Case::appStoreSecondary,
         {},
         withStore([](Record& r) {
             r.languageCodesISO2A = std::vector<std::string>{"EN", "RU"};
         }),
         {DetectionReason::appStoreSecondary(russian)}},
        {"store languages EN, DE and RU: not secondary",
         {"RU"},
         Case::appStoreSecondary,
         {},
         withStore([](Record& r) {
             r.languageCodesISO2A = std::vector<std::string>{"EN", "DE", "RU"};
         }),
         {}},
        {"no store record: not secondary", {"RU"}, Case::appStoreSecondary, {}, {}, {}},
        {"bundle title in the target language",
         {"RU"},
         Case::title,
         [](BundleFixture& b) { b.name = "Калькулятор.app"; },
         {},
         {DetectionReason::title(russian)}},
        {"English title",
         {"RU"},
         Case::title,
         [](BundleFixture& b) { b.name = "Notes.app"; },
         {},
         {}},
        {"store description in the target language",
         {"RU"},
         Case::description,
         {},
         withStore([](Record& r) {
             r.description = "Приложение помогает вести учёт расходов и доходов семьи.";
         }),
         {DetectionReason::description(russian)}},
        {"signing certificate from a target country",
         {"RU", "BY"},
         Case::signingCertificate,
         [&](BundleFixture& b) { b.executable = signedExecutable; },
         {},
         {DetectionReason::signingCertificate(russia().countryName(), "ABCDE12345")}},
        {"ad-hoc signature names no country",
         {"RU"},
         Case::signingCertificate,
         [&](BundleFixture& b) { b.executable = adHocExecutable; },
         {},
         {}},
        {"unsigned executable", {"RU"}, Case::signingCertificate, withStrings({"x"}), {}, {}},
        {"one localization in the target language",
         {"RU"},
         Case::localization,
         withLocalizations({"ru"}),
         {},
         {DetectionReason::localization(russian)}},
        {"two localizations: not the only one",
         {"RU"},
         Case::localization,
         withLocalizations({"en", "ru"}),
         {},
         {}},
        {"two localizations: secondary",
         {"RU"},
         Case::secondaryLocalization,
         withLocalizations({"en", "ru"}),
         {},
         {DetectionReason::secondaryLocalization(russian)}},
        {"three localizations: none",
         {"RU"},
         Case::secondaryLocalization,
         withLocalizations({"de", "en", "ru"}),
         {},
         {}},
        {"copyright names a target domain",
         {"BY"},
         Case::copyright,
         [](BundleFixture& b) { b.info["NSHumanReadableCopyright"] = "© 2024 tool.by"; },
         {},
         {DetectionReason::copyright(belarus().languageName())}},
        {"copyright in the target language",
         {"RU"},
         Case::copyright,
         [](BundleFixture& b) {
             b.info["NSHumanReadableCopyright"] = "Все права защищены ООО Ромашка";
         },
         {},
         {DetectionReason::copyright(russian)}},
        {"seller name in the target language",
         {"RU"},
         Case::sellerName,
         {},
         withStore([](Record& r) { r.sellerName = "ООО Ромашка и партнёры"; }),
         {DetectionReason::sellerName("ООО Ромашка и партнёры")}},
        {"artist name with a target domain",
         {"BY"},
         Case::artistName,
         {},
         withStore([](Record& r) { r.artistName = "Soft.by Team"; }),
         {DetectionReason::artistName("Soft.by Team")}},
        {"executable URLs per country",
         {"RU", "BY"},
         Case::binaryURLs,
         withStrings({"HTTPS://API.EXAMPLE.BY/v1", "ftp://files.example.by/", "see http://a.by/",
                      "https://mail.yandex.net/x", "https://example.com/"}),
         {},
         {DetectionReason::binaryURLs(russia().countryName(), {"https://mail.yandex.net/x"}),
          DetectionReason::binaryURLs(belarus().countryName(), {"https://api.example.by/v1"})}},
        {"server in a target country",
         {"RU"},
         Case::applicationServer,
         {},
         [](LocalApplication& app) {
             app.setDomainInfo(DomainInfo{"a.example", "1.2.3.4", "ru"});
         },
         {DetectionReason::applicationServer(russia().countryName())}},
        {"no server information", {"RU"}, Case::applicationServer, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto found = analyseOne(c);
        if (c.expected.empty()) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(asSet(found->reasons()), asSet(c.expected));
    }
}

TEST(MentionsDomainTests, TokenTable) {
    struct Row {
        const char* text;
        bool expected;
    };
    const Row rows[] = {
        {"by.company", true}, {"x by.y", true}, {"a.by.b", true}, {"a.by/x", true},
        {"/by.x", true},      {"a.by b", true}, {"a.by", true},   {"A.BY", true},
        {"bytes", false},     {"baby", false},  {"by", false},    {"a.byte", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(mentionsDomain(row.text, "by"), row.expected);
    }
}

TEST(AnalysisRunTests, NamesWebAddressesDenyListExtrasAndOrder) {
    TemporaryDirectory folder;
    FixedCountries countries({"RU"});
    auto analyser = std::make_shared<LocalApplicationsAnalyserImpl>(
        std::make_shared<BinaryStringsParserImpl>(), countries);
    const auto make = [&](std::string name, std::string id, std::optional<std::string> feed) {
        BundleFixture bundle;
        bundle.name = name + ".app";
        bundle.info["CFBundleIdentifier"] = id;
        if (feed) {
            bundle.info["SUFeedURL"] = *feed;
        }
        return application(folder.path(), bundle);
    };
    auto alpha = make("alpha", "ru.alpha", "https://updates.alpha.ru/feed.xml");
    auto zeta = make("Zeta", "ru.zeta", std::nullopt);
    auto store = make("Local name", "ru.store", std::nullopt);
    auto record = storeRecord("Store name");
    record.sellerUrl = "https://seller.example";
    store->setAppStoreInfo(record);
    auto clean = make("Clean", "com.clean", std::nullopt);

    std::vector<DenyListProvider::Entry> denyList = {{"ZETA", "bad", "why", "https://x/why"}};
    std::vector<RestrictionPreference> rules = {
        RestrictionPreference(DetectionReason::bundleID("")),
        RestrictionPreference(DetectionReason::bundleID(""))};
    DispatchGroup done;
    done.enter();
    LocalApplicationsAnalyser::Results results;
    analyser->analyse({alpha, zeta, store, clean}, denyList, rules, [&](auto found) {
        results = std::move(found);
        done.leave();
    });
    ASSERT_TRUE(done.wait(std::chrono::seconds(30)));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]->name(), "Store name");  // upper case before lower case
    EXPECT_EQ(results[1]->name(), "Zeta");
    EXPECT_EQ(results[2]->name(), "alpha");
    EXPECT_EQ(results[0]->webURL(), "https://seller.example");
    EXPECT_EQ(results[1]->webURL(), std::nullopt);
    EXPECT_EQ(results[2]->webURL(), "updates.alpha.ru");
    EXPECT_EQ(results[1]->reasons().size(), 1u);  // the rule given twice counts once
    EXPECT_EQ(results[1]->additionalInfo(), "why");
    EXPECT_TRUE(results[1]->isAdditionalInfoWebURLAvailable());
    EXPECT_FALSE(results[2]->isAdditionalInfoAvailable());

    done.enter();
    analyser->analyse({}, {}, rules, [&](auto found) {
        results = std::move(found);
        done.leave();
    });
    ASSERT_TRUE(done.wait(std::chrono::seconds(30)));
    EXPECT_TRUE(results.empty());
}

// Notes how many executables are read at once; each read takes a moment, as a large one does.
class ConcurrencyRecordingParser final : public BinaryStringsParser {
public:
    CStringList parse(const std::filesystem::path&) const override {
        const int now = ++m_reading;
        int peak = m_peak.load();
        while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --m_reading;
        ++m_reads;
        return {};
    }
    int peak() const { return m_peak; }
    int reads() const { return m_reads; }

private:
    mutable std::atomic<int> m_reading{0};
    mutable std::atomic<int> m_peak{0};
    mutable std::atomic<int> m_reads{0};
};

TEST(AnalysisRunTests, ManyApplicationsAreCheckedOnABoundedNumberOfThreads) {
    TemporaryDirectory folder;
    FixedCountries countries({"RU"});
    auto parser = std::make_shared<ConcurrencyRecordingParser>();
    auto analyser = std::make_shared<LocalApplicationsAnalyserImpl>(parser, countries);
    LocalApplicationsAnalyser::Applications applications;
    for (int index = 0; index < 200; ++index) {
        BundleFixture bundle;
        bundle.name = "App" + std::to_string(index) + ".app";
        bundle.info["CFBundleIdentifier"] = "ru.app" + std::to_string(index);
        bundle.executable = "x";
        applications.push_back(application(folder.path(), bundle));
    }
    DispatchGroup done;
    done.enter();
    LocalApplicationsAnalyser::Results results;
    analyser->analyse(applications, {},
                      {RestrictionPreference(DetectionReason::binaryURLs("", {})),
                       RestrictionPreference(DetectionReason::bundleID(""))},
                      [&](auto found) {
                          results = std::move(found);
                          done.leave();
                      });
    ASSERT_TRUE(done.wait(std::chrono::seconds(120)));
    EXPECT_EQ(results.size(), 200u);
    EXPECT_EQ(parser->reads(), 200);
    const int cores = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
    EXPECT_LE(parser->peak(), cores);
    EXPECT_LE(parser->peak(),
              static_cast<int>(LocalApplicationsAnalyserImpl::concurrentApplications()));
    EXPECT_GE(parser->peak(), 1);
}

TEST(ReasonViewModelTests, ExecutableHostsGetTheirOwnBlock) {
    const PUApplication app(
        "Tool", std::nullopt, "com.sample.tool", std::nullopt,
        {DetectionReason::binaryURLs("Russia", {"https://a.ru", "https://b.ru"}),
         DetectionReason::binaryURLs("Belarus", {"https://c.by"}), DetectionReason::bundleID("ru")},
        std::nullopt, std::nullopt);
    ASSERT_EQ(app.reasonViewModels().size(), 3u);
    EXPECT_EQ(app.reasonViewModels()[0].additionalDescription(),
              (ReasonViewModel::AdditionalDescription{
                  "Application binary contains hosts originating from Russia:",
                  "https://a.ru\nhttps://b.ru"}));
    EXPECT_EQ(app.reasonViewModels()[1].additionalDescription()->details, "https://c.by");
    EXPECT_EQ(app.reasonViewModels()[2].additionalDescription(), std::nullopt);
    EXPECT_EQ(app.reasonViewModels()[2].title(), DetectionReason::bundleID("ru").descriptionText());
    EXPECT_EQ(app.logDescription(), "Tool (com.sample.tool)");
    EXPECT_EQ(app.filterName(), "Toolcom.sample.tool");
    const PUApplication twin("Tool", std::nullopt, "com.sample.tool", std::nullopt, {},
                             std::nullopt, std::nullopt);
    EXPECT_FALSE(app == twin);
}

TEST(PUApplicationTests, TheIconIsLookedUpOnceByBundleIdentifier) {
    std::vector<std::string> asked;
    const PUApplication::IconLookup lookup = [&](const std::string& bundleId) {
        asked.push_back(bundleId);
        return bundleId == "com.sample.tool" ? std::optional(IconImage{{1, 2, 3}, 16, 16})
                                             : std::nullopt;
    };
    const PUApplication found("Tool", std::nullopt, "com.sample.tool", std::nullopt, {},
                              std::nullopt, std::nullopt, lookup);
    const PUApplication unresolved("Other", std::nullopt, "com.sample.other", std::nullopt, {},
                                   std::nullopt, std::nullopt, lookup);
    EXPECT_EQ(asked, (std::vector<std::string>{"com.sample.tool", "com.sample.other"}));
    ASSERT_TRUE(found.icon());
    EXPECT_EQ(found.icon()->png, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(unresolved.icon());
}

}  // namespace
}  // namespace tarnwick
