#include "core/file_enumerator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/device_fixture.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

class EnumeratorTest : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().writeFile("Folder/f1.txt");
        device().writeFile("Folder/F2.dat");
        device().writeFile("Folder/s/inner.txt");
        device().writeFile("Folder/s/deeper/deep.txt");
        device().writeFile("Folder/T/t.txt");
    }

    static std::vector<std::string> all(FileEnumerator& enumerator)
    {
        std::vector<std::string> names;
        for (SharedString name = enumerator.next(); !name.isEmpty(); name = enumerator.next())
            names.push_back(toUtf8(name).c_str());
        return names;
    }
};

using Names = std::vector<std::string>;

TEST_F(EnumeratorTest, SelectionFlags)
{
    struct Case {
        std::uint32_t selection;
        Names expected;
    } cases[] = {
        {FileEnumerator::kFiles, {"f1.txt", "F2.dat"}},
        {FileEnumerator::kFolders, {"s", "T"}},
        {FileEnumerator::kFolders | FileEnumerator::kParentEntry, {"..", "s", "T"}},
        {FileEnumerator::kFiles | FileEnumerator::kParentEntry, {"f1.txt", "F2.dat"}},
        {FileEnumerator::kFiles | FileEnumerator::kFolders, {"f1.txt", "F2.dat", "s", "T"}},
        {0, {}},
    };
    for (const Case& c : cases) {
        FileEnumerator enumerator(u"/FOLDER", false, c.selection);
        EXPECT_EQ(all(enumerator), c.expected) << c.selection;
    }
}

TEST_F(EnumeratorTest, PatternKeepsMatchingNames)
{
    FileEnumerator enumerator(u"\\Folder", false, FileEnumerator::kFiles | FileEnumerator::kFolders, u"*.TXT");
    EXPECT_EQ(all(enumerator), Names{"f1.txt"});
    FileEnumerator single(u"\\Folder", false, FileEnumerator::kFiles | FileEnumerator::kFolders, u"?");
    EXPECT_EQ(all(single), (Names{"s", "T"}));
}

TEST_F(EnumeratorTest, TheRootHasNoParentEntryAndMissingFoldersGiveNothing)
{
    FileEnumerator root(u"\\", false, FileEnumerator::kFolders | FileEnumerator::kParentEntry);
    EXPECT_EQ(all(root), Names{"Folder"});
    FileEnumerator missing(u"\\Nowhere", false, FileEnumerator::kFiles | FileEnumerator::kFolders);
    EXPECT_TRUE(missing.next().isEmpty());
    FileEnumerator outside(u"\\..\\..", false, FileEnumerator::kFiles | FileEnumerator::kFolders);
    EXPECT_TRUE(outside.next().isEmpty());
    EXPECT_TRUE(outside.next().isEmpty());
}

TEST_F(EnumeratorTest, RecursionVisitsSubfoldersAfterTheirFolder)
{
    test::DiagCapture capture;
    FileEnumerator files(u"\\Folder", true, FileEnumerator::kFiles);
    EXPECT_EQ(all(files), (Names{"f1.txt", "F2.dat", "s\\inner.txt", "s\\deeper\\deep.txt", "T\\t.txt"}));
    FileEnumerator folders(u"\\Folder", true, FileEnumerator::kFolders, u"*e*");
    EXPECT_EQ(all(folders), Names{"s\\deeper"});
    EXPECT_EQ(capture.dbgChkCount(), 0);

    FileEnumerator withParent(u"\\Folder", true, FileEnumerator::kFolders | FileEnumerator::kParentEntry);
    EXPECT_EQ(capture.dbgChkCount(), 1);
    EXPECT_EQ(all(withParent), (Names{"s", "T", "s\\deeper"}));
}

}  // namespace
}  // namespace druvex
