// The package source store: one entry per distinct source, sources of a
// package largest kind first, keys compared exactly.
#include <gtest/gtest.h>

#include <vector>

#include "data/feature.h"
#include "data/package_sources.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

PackageSource source(std::int32_t kind, const char16_t* location, std::uint32_t low = 0, std::uint32_t high = 0)
{
    return PackageSource{kind, SharedString(location), low, high};
}

std::vector<SharedString> locations(const std::vector<PackageSource>& sources)
{
    std::vector<SharedString> out;
    for (const PackageSource& s : sources)
        out.push_back(s.location);
    return out;
}

TEST(PackageSources, EqualSourcesAreStoredOnceAndOthersBeside)
{
    WStringMultimap store;
    const std::u16string_view key = u"Feature_Core_4.1_AB12.lzma";
    store.addIfAbsent(key, source(kSourceArchiveEntry, u"Feature_Core_4.1_AB12.lzma", 10, 1));
    store.addIfAbsent(key, source(kSourceArchiveEntry, u"Feature_Core_4.1_AB12.lzma", 10, 1));
    // Each field on its own makes another source.
    store.addIfAbsent(key, source(kSourceArchiveEntry, u"Feature_Core_4.1_AB12.lzma", 10, 2));
    store.addIfAbsent(key, source(kSourceArchiveEntry, u"Feature_Core_4.1_AB12.lzma", 11, 1));
    store.addIfAbsent(key, source(kSourceDownload, u"Feature_Core_4.1_AB12.lzma", 10, 1));
    store.addIfAbsent(key, source(kSourceArchiveEntry, u"other.lzma", 10, 1));

    std::vector<PackageSource> out;
    ASSERT_TRUE(store.equalRange(key, out));
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0], source(kSourceArchiveEntry, u"Feature_Core_4.1_AB12.lzma", 10, 1));
    EXPECT_EQ(out[1], source(kSourceArchiveEntry, u"Feature_Core_4.1_AB12.lzma", 10, 2));
    EXPECT_EQ(out[4], source(kSourceDownload, u"Feature_Core_4.1_AB12.lzma", 10, 1));
}

TEST(PackageSources, EqualRangeGivesTheLargestKindFirstAndKeepsTheOrderWithinAKind)
{
    WStringMultimap store;
    const std::u16string_view key = u"ExtraData_Redist_VC_1.0_FF.lzma";
    store.addIfAbsent(key, source(kSourceDownload, u"http://host/a.lzma"));
    store.addIfAbsent(key, source(kSourceArchiveEntry, u"entry"));
    store.addIfAbsent(key, source(kSourceDownload, u"http://host/b.lzma"));
    store.addIfAbsent(key, source(kSourceLocalFile, u"\\update\\a.lzma"));
    store.addIfAbsent(key, source(kSourceDownload, u"http://host/c.lzma"));
    store.addIfAbsent(u"another", source(kSourceLocalFile, u"\\update\\other.lzma"));

    std::vector<PackageSource> out{source(1, u"stale")};
    ASSERT_TRUE(store.equalRange(key, out));
    EXPECT_EQ(locations(out), (std::vector<SharedString>{u"\\update\\a.lzma", u"entry", u"http://host/a.lzma",
                                                         u"http://host/b.lzma", u"http://host/c.lzma"}));
}

TEST(PackageSources, KeysCompareExactlyAndEraseTakesOnlyItsOwn)
{
    WStringMultimap store;
    store.addIfAbsent(u"Feature_Help", source(kSourceArchiveEntry, u"a"));
    store.addIfAbsent(u"Feature_Help", source(kSourceDownload, u"b"));
    store.addIfAbsent(u"Feature_HELP", source(kSourceArchiveEntry, u"c"));
    EXPECT_TRUE(store.contains(u"Feature_Help"));
    EXPECT_FALSE(store.contains(u"feature_help"));
    EXPECT_FALSE(store.contains(u"Feature_Hel"));

    std::vector<PackageSource> out;
    EXPECT_FALSE(store.equalRange(u"feature_help", out));
    EXPECT_TRUE(out.empty());

    store.eraseKey(u"feature_help");  // absent: nothing changes
    ASSERT_TRUE(store.equalRange(u"Feature_Help", out));
    EXPECT_EQ(out.size(), 2u);

    store.eraseKey(u"Feature_Help");
    EXPECT_FALSE(store.contains(u"Feature_Help"));
    EXPECT_TRUE(store.contains(u"Feature_HELP"));

    store.clear();
    EXPECT_TRUE(store.isEmpty());
}

FeaturePtr feature(const char16_t* name, const char16_t* version, const char16_t* digest)
{
    FeaturePtr made = makeFeaturePtr();
    made->setName(SharedString(name));
    made->setVersion(SharedString(version));
    made->setDigest(SharedString(digest));
    return made;
}

TEST(PackageSources, ItemsAreKeyedByTheirArchiveEntryWithTheFullName)
{
    FeaturePtr root = feature(u"Feature", u"", u"");
    FeaturePtr tools = feature(u"Tools", u"4.1", u"AB12");
    FeaturePtr help = feature(u"Help", u"4.1", u"AB12");
    FeaturePtr toolsHelp = feature(u"Help", u"4.1", u"AB12");
    ASSERT_TRUE(root->addSubFeature(tools));
    ASSERT_TRUE(root->addSubFeature(help));
    ASSERT_TRUE(tools->addSubFeature(toolsHelp));

    WStringMultimap store;
    store.addIfAbsent(*help, kSourceArchiveEntry, u"Feature_Help_4.1_AB12.lzma", 100, 0);
    store.addIfAbsent(*help, kSourceArchiveEntry, u"Feature_Help_4.1_AB12.lzma", 100, 0);
    store.addIfAbsent(*help, kSourceDownload, u"http://host/help.lzma", 80, 0);
    EXPECT_TRUE(store.contains(u"Feature_Help_4.1_AB12.lzma"));
    // The same Name under another parent is another package.
    EXPECT_FALSE(store.contains(*toolsHelp));

    store.addIfAbsent(*toolsHelp, kSourceLocalFile, u"\\update\\Feature_Tools_Help_4.1_AB12.lzma", 0, 0);
    std::vector<PackageSource> out;
    ASSERT_TRUE(store.equalRange(u"Feature_Tools_Help_4.1_AB12.lzma", out));
    ASSERT_TRUE(store.equalRange(*help, out));
    EXPECT_EQ(locations(out),
              (std::vector<SharedString>{u"Feature_Help_4.1_AB12.lzma", u"http://host/help.lzma"}));

    store.eraseKey(*help);
    EXPECT_FALSE(store.contains(*help));
    EXPECT_TRUE(store.contains(*toolsHelp));
}

}  // namespace
}  // namespace druvex
