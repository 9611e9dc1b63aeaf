#include "core/path_text.h"

#include <gtest/gtest.h>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

struct TextCase {
    SharedString (*function)(const SharedString&);
    const char* name;
    const char16_t* input;
    const char16_t* expected;
};

TEST(FileFunctionsPathText, SplitsPathsTheDevicesWay)
{
    const TextCase cases[] = {
        {getExtension, "getExtension", u"job.VJF.zip", u"VJF.zip"},
        {getExtension, "getExtension", u"a.tar.gz", u"gz"},
        {getExtension, "getExtension", u"dir\\.profile", u""},
        {getExtension, "getExtension", u"noext", u""},
        {getExtension, "getExtension", u"x.", u""},
        {getExtension, "getExtension", u"a.b/c", u""},
        {getExtension, "getExtension", u"\\d\\map.Shp.Zip", u"Shp.Zip"},
        {getExtension, "getExtension", u"m.icm.dgn", u"icm.dgn"},
        {getExtension, "getExtension", u"x.zip.vjf", u"vjf"},
        {getExtension, "getExtension", u".vjf.zip", u"zip"},  // no longer than the compound
        {getFileTitle, "getFileTitle", u"C:/data/map.shp.zip", u"map"},
        {getFileTitle, "getFileTitle", u"\\a.b\\file", u"file"},
        {getFileTitle, "getFileTitle", u"a/.profile", u".profile"},
        {getFileTitle, "getFileTitle", u"x.", u"x"},
        {getFileTitle, "getFileTitle", u"a/b/", u""},
        {removeExtension, "removeExtension", u"a/b.txt", u"a/b"},
        {removeExtension, "removeExtension", u"\\j\\job.vjf.zip", u"\\j\\job"},
        {removeExtension, "removeExtension", u"\\a.b\\file", u"\\a.b\\file"},
        {getFileName, "getFileName", u"a/b\\c.txt", u"c.txt"},
        {getFileName, "getFileName", u"abc", u"abc"},
        {getFileName, "getFileName", u"a/", u""},
        {getParentFolder, "getParentFolder", u"\\Temp\\x.txt", u"\\Temp"},
        {getParentFolder, "getParentFolder", u"x.txt", u""},
        {getParentFolder, "getParentFolder", u"\\x.txt", u""},
        {getFolderWithSeparator, "getFolderWithSeparator", u"a/b/c", u"a/b/"},
        {getFolderWithSeparator, "getFolderWithSeparator", u"c", u""},
        {toBackslashes, "toBackslashes", u"a/b\\c/", u"a\\b\\c\\"},
        {withTrailingBackslash, "withTrailingBackslash", u"a/", u"a/"},
        {withTrailingBackslash, "withTrailingBackslash", u"", u""},
        {withTrailingBackslash, "withTrailingBackslash", u"a/b", u"a/b\\"},
        {withoutTrailingSeparator, "withoutTrailingSeparator", u"C", u"C"},
        {withoutTrailingSeparator, "withoutTrailingSeparator", u"\\", u"\\"},
        {withoutTrailingSeparator, "withoutTrailingSeparator", u"/", u"/"},
        {withoutTrailingSeparator, "withoutTrailingSeparator", u"a/b/", u"a/b"},
        {withoutTrailingSeparator, "withoutTrailingSeparator", u"a\\b", u"a\\b"},
        {withoutTrailingSeparator, "withoutTrailingSeparator", u"", u""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(c.function(SharedString(c.input)), c.expected) << c.name << " of " << testing::PrintToString(SharedString(c.input));
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
