#include "core/path_text.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

struct TextCases {
    SharedString (*function)(const SharedString&);
    const char* name;
    std::vector<std::pair<const char16_t*, const char16_t*>> cases;  // input, expected
};

TEST(FileFunctionsPathText, SplitsPathsTheDevicesWay)
{
    const TextCases functions[] = {
        {getExtension, "getExtension",
         {{u"job.VJF.zip", u"VJF.zip"}, {u"a.tar.gz", u"gz"}, {u"dir\\.profile", u""}, {u"noext", u""}, {u"x.", u""},
          {u"a.b/c", u""}, {u"\\d\\map.Shp.Zip", u"Shp.Zip"}, {u"m.icm.dgn", u"icm.dgn"}, {u"x.zip.vjf", u"vjf"},
          {u".vjf.zip", u"zip"}}},  // no longer than the compound
        {getFileTitle, "getFileTitle",
         {{u"C:/data/map.shp.zip", u"map"}, {u"\\a.b\\file", u"file"}, {u"a/.profile", u".profile"}, {u"x.", u"x"},
          {u"a/b/", u""}}},
        {removeExtension, "removeExtension",
         {{u"a/b.txt", u"a/b"}, {u"\\j\\job.vjf.zip", u"\\j\\job"}, {u"\\a.b\\file", u"\\a.b\\file"}}},
        {getFileName, "getFileName", {{u"a/b\\c.txt", u"c.txt"}, {u"abc", u"abc"}, {u"a/", u""}}},
        {getParentFolder, "getParentFolder", {{u"\\Temp\\x.txt", u"\\Temp"}, {u"x.txt", u""}, {u"\\x.txt", u""}}},
        {getFolderWithSeparator, "getFolderWithSeparator", {{u"a/b/c", u"a/b/"}, {u"c", u""}}},
        {toBackslashes, "toBackslashes", {{u"a/b\\c/", u"a\\b\\c\\"}}},
        {withTrailingBackslash, "withTrailingBackslash", {{u"a/", u"a/"}, {u"", u""}, {u"a/b", u"a/b\\"}}},
        {withoutTrailingSeparator, "withoutTrailingSeparator",
         {{u"C", u"C"}, {u"\\", u"\\"}, {u"/", u"/"}, {u"a/b/", u"a/b"}, {u"a\\b", u"a\\b"}, {u"", u""}}},
    };
    for (const TextCases& f : functions) {
        for (const auto& [input, expected] : f.cases)
            EXPECT_EQ(f.function(input), expected) << f.name << " of " << testing::PrintToString(SharedString(input));
    }
}

TEST(FileFunctionsPathText, IndexesOfSeparatorsAndExtensions)
{
    EXPECT_EQ(findLastSeparator(SharedString()), -1);
    EXPECT_EQ(findLastSeparator(SharedString(u"abc")), -1);
    EXPECT_EQ(findLastSeparator(SharedString(u"a\\b/c")), 3);
    EXPECT_EQ(getFileNameStart(SharedString(u"abc")), 0);
    EXPECT_EQ(getFileNameStart(SharedString(u"a\\bc")), 2);
    EXPECT_EQ(findExtension(SharedString(u"noext")), 5);
    EXPECT_EQ(findExtension(SharedString(u"a.Vjf.ZIP")), 1);
    EXPECT_EQ(findExtension(SharedString()), 0);
    EXPECT_TRUE(isPathSeparator(u'\\') && isPathSeparator(u'/'));
    EXPECT_FALSE(isPathSeparator(u':'));
}

}  // namespace
}  // namespace druvex
