// Path texts the device's way: the parts of a path, and paths made, split
// and renamed.
#include "core/path_text.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/split_path.h"
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

TEST(PlatformFilePaths, MakePath)
{
    struct Case {
        const char16_t* drive;
        const char16_t* folder;
        const char16_t* name;
        const char16_t* extension;
        const char16_t* expected;
    } cases[] = {
        {u"C:", u"a/b/", u"c", u"txt", u"C:\\a\\b\\c.txt"},
        {u"C:", u"a/b/", u"c", u".txt", u"C:\\a\\b\\c.txt"},
        {nullptr, u"a", u"b", nullptr, u"a\\b"},
        {nullptr, nullptr, u"name", u"", u"name"},
        {nullptr, u"\\\\Temp\\\\\\", u"/x", nullptr, u"\\Temp\\x"},
        {u"", u"", u"n", u"e", u"n.e"},
        {nullptr, u"a", u"", nullptr, u"a\\"},
        {nullptr, nullptr, nullptr, u"ext", u".ext"},
        {nullptr, nullptr, nullptr, nullptr, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(makePath(c.drive, c.folder, c.name, c.extension), c.expected);
}

TEST(PlatformFilePaths, SplitPath)
{
    struct Case {
        const char16_t* path;
        const char16_t* drive;
        const char16_t* folder;
        const char16_t* name;
        const char16_t* extension;
    } cases[] = {
        {u"C:\\a\\b.c\\d", u"C:", u"/a/b.c/", u"d", u""},
        {u"C:\\a\\b.txt", u"C:", u"/a/", u"b", u".txt"},
        {u"x.tar.gz", u"", u"", u"x.tar", u".gz"},
        {u"a/.cfg", u"", u"a/", u"", u".cfg"},
        {u"\\Windows\\", u"", u"/Windows/", u"", u""},
        {u"C:name.txt", u"C:", u"", u"name", u".txt"},
        {u"a/b:c", u"a/b:", u"", u"c", u""},
        {u"", u"", u"", u"", u""},
    };
    for (const Case& c : cases) {
        SharedString drive = u"?", folder = u"?", name = u"?", extension = u"?";
        splitPath(c.path, &drive, &folder, &name, &extension);
        EXPECT_EQ(drive, c.drive) << toUtf8(c.path).c_str();
        EXPECT_EQ(folder, c.folder) << toUtf8(c.path).c_str();
        EXPECT_EQ(name, c.name) << toUtf8(c.path).c_str();
        EXPECT_EQ(extension, c.extension) << toUtf8(c.path).c_str();
    }
    SharedString name;
    splitPath(u"\\a\\b.c", nullptr, nullptr, &name, nullptr);
    EXPECT_EQ(name, u"b");
}

TEST(PlatformFilePaths, ReplaceFileName)
{
    EXPECT_EQ(replaceFileName(u"\\Windows\\old.txt", u"new.dat"), u"\\Windows\\new.dat");
    EXPECT_EQ(replaceFileName(u"C:/a/b/old", u"n"), u"C:\\a\\b\\n");
    EXPECT_EQ(replaceFileName(u"old.txt", u"new.txt"), u"new.txt");
    EXPECT_EQ(replaceFileName(u"", u"new.txt"), u"new.txt");
}

}  // namespace
}  // namespace druvex
