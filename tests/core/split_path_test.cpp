#include "core/split_path.h"

#include <gtest/gtest.h>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

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
