// Every enumeration's name table, walked in one place: each value's name reads
// back as that value, and no two entries share a name under the table's case
// rule. A table the sources declare and this list lacks fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app_base/installer_options.h"
#include "app_base/target_platform.h"
#include "app_base/theme_names.h"
#include "data/custom_action.h"
#include "data/feature.h"
#include "data/feature_records.h"
#include "data/install_data.h"
#include "data/installer_configuration.h"
#include "data/installer_settings.h"
#include "data/registry_model.h"
#include "data/web_server_records.h"
#include "text/name_table.h"
#include "text/shared_string.h"

namespace druvex {
namespace {

// The problems of one table; empty when it round-trips.
template <class Value>
std::vector<std::string> roundTripProblems(const NameTable<Value>& table)
{
    std::vector<std::string> problems;
    const auto entries = table.entries();
    if (entries.empty())
        problems.push_back("the table is empty");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string name = toUtf8(SharedString(entries[i].name)).c_str();
        if (entries[i].name.empty())
            problems.push_back("entry " + std::to_string(i) + " has no name");
        const std::u16string_view written = table.nameOf(entries[i].value);
        if (table.find(written) != entries[i].value)
            problems.push_back("the value of \"" + name + "\" does not read back");
        if (table.find(entries[i].name) != entries[i].value)
            problems.push_back("\"" + name + "\" reads as another value");
        for (std::size_t j = 0; j < i; ++j) {
            if (table.sameName(entries[i].name, entries[j].name))
                problems.push_back("\"" + name + "\" is named twice");
        }
    }
    return problems;
}

struct Walked {
    std::string name;
    std::vector<std::string> problems;
};

template <class Value>
Walked walk(const char* name, const NameTable<Value>& table)
{
    return {name, roundTripProblems(table)};
}

#define DRUVEX_TABLE(table) walk(#table, table)

// The names of the tables the headers under src/ declare.
std::set<std::string> declaredTables()
{
    std::set<std::string> names;
    const std::string marker = "extern const NameTable<";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(DRUVEX_SOURCE_DIR) / "src")) {
        if (entry.path().extension() != ".h")
            continue;
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
            const std::size_t close = text.find("> ", at);
            const std::size_t end = text.find(';', close);
            if (close != std::string::npos && end != std::string::npos)
                names.insert(text.substr(close + 2, end - close - 2));
        }
    }
    return names;
}

TEST(NameTables, EveryTableRoundTrips)
{
    const Walked tables[] = {
        DRUVEX_TABLE(kPlatformNames),
        DRUVEX_TABLE(kInstallerPlatformNames),
        DRUVEX_TABLE(kInstallerTypeNames),
        DRUVEX_TABLE(kThemeNames),
        DRUVEX_TABLE(kUpdateModeNames),
        DRUVEX_TABLE(kActionTypeNames),
        DRUVEX_TABLE(kActionInstallerTypeNames),
        DRUVEX_TABLE(kActionStoreLocationNames),
        DRUVEX_TABLE(kActionPostInstallModeNames),
        DRUVEX_TABLE(kFeatureModeNames),
        DRUVEX_TABLE(kFeaturePreselectionNames),
        DRUVEX_TABLE(kLinkPosNames),
        DRUVEX_TABLE(kEnvTypeNames),
        DRUVEX_TABLE(kEnvAddModeNames),
        DRUVEX_TABLE(kEnvPlacementNames),
        DRUVEX_TABLE(kVerbNames),
        DRUVEX_TABLE(kScriptTimeNames),
        DRUVEX_TABLE(kLanguageInstallModeNames),
        DRUVEX_TABLE(kBannerScreenNames),
        DRUVEX_TABLE(kRedistInclModeNames),
        DRUVEX_TABLE(kInstallerSettingKeyNames),
        DRUVEX_TABLE(regmodel::kRegistryFlagNames),
        DRUVEX_TABLE(regmodel::kRegistryFormatNames),
        DRUVEX_TABLE(kPipelineModeNames),
        DRUVEX_TABLE(kPoolIdentityNames),
    };
    std::set<std::string> walked;
    for (const Walked& table : tables) {
        EXPECT_TRUE(table.problems.empty()) << table.name << ": " << table.problems.front();
        const std::size_t scope = table.name.rfind("::");
        walked.insert(scope == std::string::npos ? table.name : table.name.substr(scope + 2));
    }
    EXPECT_EQ(declaredTables(), walked);
}

// The test above can fail: a table that names two values alike, or whose
// value reads back as another, is caught.
TEST(NameTables, FaultyTablesAreCaught)
{
    constexpr NamedValue<int> kTwice[] = {{1, u"One"}, {2, u"one"}};
    EXPECT_TRUE(roundTripProblems(NameTable<int>(kTwice, NameCase::kExact)).empty());
    EXPECT_FALSE(roundTripProblems(NameTable<int>(kTwice, NameCase::kIgnoreCase)).empty());

    constexpr NamedValue<int> kAliasFirst[] = {{1, u"One"}, {2, u"Two"}, {2, u"One"}};
    EXPECT_FALSE(roundTripProblems(NameTable<int>(kAliasFirst, NameCase::kExact)).empty());
}

}  // namespace
}  // namespace druvex
