#include "core/mapped_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/platform_file.h"
#include "support/device_fixture.h"

namespace druvex {
namespace {

using MappedFileTest = test::DeviceFixture;

TEST_F(MappedFileTest, WritableMappingMakesTheFileItsSizeAndKeepsTheData)
{
    MappedFile mapped;
    ASSERT_TRUE(mapped.open(u"\\Data\\..\\new.bin", true, true, 10000));
    EXPECT_TRUE(mapped.isOpen());
    EXPECT_TRUE(mapped.created());
    EXPECT_EQ(mapped.fileSize(), 10000u);
    EXPECT_EQ(mapped.viewSize(), 10000u);
    std::memset(mapped.data(), 'z', 10000);
    std::memcpy(mapped.data(), "head", 4);
    mapped.close();
    EXPECT_FALSE(mapped.isOpen());
    EXPECT_EQ(mapped.data(), nullptr);
    EXPECT_EQ(mapped.fileSize(), 0u);
    EXPECT_FALSE(mapped.created());

    const std::string contents = device().readFile("new.bin");
    ASSERT_EQ(contents.size(), 10000u);
    EXPECT_EQ(contents.substr(0, 5), "headz");
    EXPECT_EQ(contents.back(), 'z');
}

TEST_F(MappedFileTest, ReadOnlyMappingSeesTheWholeFile)
{
    device().writeFile("Ini/App.ini", "[Main]\nKey=1\n");
    MappedFile mapped;
    ASSERT_TRUE(mapped.open(u"\\ini\\app.INI", false, false));
    EXPECT_FALSE(mapped.created());
    ASSERT_EQ(mapped.fileSize(), 13u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped.data()), 13), "[Main]\nKey=1\n");

    // Others may read it meanwhile, but not write.
    PlatformFile reader;
    EXPECT_TRUE(reader.openForRead(u"\\Ini\\App.ini"));
    int error = 0;
    PlatformFile writer;
    EXPECT_FALSE(writer.open(u"\\Ini\\App.ini", kFileOpenExisting | kFileWrite, nullptr, &error));
    EXPECT_EQ(error, kOpenSharingViolation);
    mapped.close();
    EXPECT_TRUE(writer.open(u"\\Ini\\App.ini", kFileOpenExisting | kFileWrite));
}

TEST_F(MappedFileTest, FailuresCloseWhatWasOpenedAndHeldFilesCannotBeMapped)
{
    device().writeFile("empty.bin");
    device().writeFile("short.bin", "abc");
    MappedFile mapped;
    EXPECT_FALSE(mapped.open(u"\\missing.bin", false, false));
    EXPECT_FALSE(device().exists("missing.bin"));
    EXPECT_FALSE(mapped.open(u"\\empty.bin", false, false));
    EXPECT_FALSE(mapped.open(u"\\short.bin", false, false, 100));  // read-only cannot grow it
    EXPECT_FALSE(mapped.open(u"\\empty.bin", false, true, 0));
    EXPECT_FALSE(mapped.isOpen());
    EXPECT_EQ(device().readFile("short.bin"), "abc");
    // Nothing still holds the files.
    PlatformFile exclusive;
    EXPECT_TRUE(exclusive.open(u"\\empty.bin", kFileOpenExisting | kFileWrite | kFileDenyRead | kFileDenyWrite));
    exclusive.close();
    EXPECT_TRUE(exclusive.open(u"\\short.bin", kFileOpenExisting | kFileWrite | kFileDenyRead | kFileDenyWrite));
    exclusive.close();
    // A file held for writing, even with all sharing, cannot be mapped.
    ASSERT_TRUE(exclusive.open(u"\\short.bin", kFileOpenExisting | kFileWrite));
    EXPECT_FALSE(mapped.open(u"\\short.bin", false, false));
}

// A view of part of a file; opening another file lets the first go.
TEST_F(MappedFileTest, PartOfAFileAndReopeningReplacesTheMapping)
{
    device().writeFile("part.bin", "0123456789");
    device().writeFile("two.bin", "22");
    MappedFile mapped;
    ASSERT_TRUE(mapped.open(u"\\part.bin", false, false, 4));
    EXPECT_EQ(mapped.viewSize(), 4u);
    EXPECT_EQ(mapped.fileSize(), 10u);
    EXPECT_EQ(std::memcmp(mapped.data(), "0123", 4), 0);
    ASSERT_TRUE(mapped.open(u"\\two.bin", false, false));
    EXPECT_EQ(mapped.fileSize(), 2u);
    PlatformFile writer;
    EXPECT_TRUE(writer.open(u"\\part.bin", kFileOpenExisting | kFileWrite));
}

}  // namespace
}  // namespace druvex
