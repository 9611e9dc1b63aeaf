// The installer file utilities: path joining and resolution, byte-size texts,
// UTF-8 decoding, and the file operations over the device host, with faults
// injected where a host can fail.
#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/adler32.h"
#include "fileutil/file_util.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/host_fixture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

SharedString S(const char16_t* text)
{
    return SharedString(text);
}

// A fault plan with one field set.
template <class Set>
test::HalFaultPlan faults(Set set)
{
    test::HalFaultPlan plan;
    set(plan);
    return plan;
}

TEST(FileUtilPaths, JoinPathPutsExactlyOneSeparatorAtTheSeam)
{
    struct Case {
        const char16_t* first;
        const char16_t* second;
        const char16_t* joined;
    } cases[] = {
        {u"", u"b", u"b"},
        {u"a", u"", u"a"},
        {u"", u"", u""},
        {u"a", u"b", u"a/b"},
        {u"a/", u"b", u"a/b"},
        {u"a\\", u"b", u"a\\b"},
        {u"a", u"\\b", u"a\\b"},
        {u"a/", u"/b", u"a/b"},
        {u"a\\", u"/b", u"a\\b"},
        {u"\\x", u"y", u"\\x/y"},
        {u"a//", u"//b", u"a///b"},  // only the seam is looked at
    };
    for (const Case& c : cases)
        EXPECT_EQ(joinPath(S(c.first), S(c.second)), S(c.joined));
}

TEST(FileUtilPaths, ResolveRelativePathClimbsOneFolderPerLeadingParentStep)
{
    struct Case {
        const char16_t* base;
        const char16_t* relative;
        const char16_t* resolved;
    } cases[] = {
        {u"\\a\\b", u"..\\c", u"\\a/c"},
        {u"\\a\\b", u"../../c", u"c"},  // the root has no parent text
        {u"\\a\\b", u"c\\d", u"\\a\\b/c\\d"},
        {u"\\a\\b", u"..", u"\\a"},
        {u"\\a\\b\\", u"../c", u"\\a\\b/c"},  // the trailing separator is the first folder taken off
        {u"", u"../c", u"../c"},
        {u"\\a", u"C:\\x", u"C:\\x"},
        {u"http://host/dir/sub", u"../file.cab", u"http://host/dir/file.cab"},
        // ".." followed by a name is a folder name, not a step up.
        {u"\\a\\b", u"..data/x", u"\\a\\b/..data/x"},
        {u"\\a\\b", u"../..data", u"\\a/..data"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolveRelativePath(S(c.base), S(c.relative)), S(c.resolved));
}

TEST(FileUtilText, FormatByteSizeChoosesTheUnitAndClampsThePrecision)
{
    struct Case {
        std::uint64_t bytes;
        int precision;
        bool withBytes;
        const char16_t* text;
    } cases[] = {
        {1536, 1, false, u"1.5 kB"},
        {1023, 1, true, u"1023 bytes"},
        {0, 1, true, u"0 bytes"},
        {500, 1, false, u"0.5 kB"},
        {1024, 1, true, u"1.0 kB"},
        {1048575, 0, false, u"1024 kB"},
        {1048576, 1, false, u"1.0 MB"},
        {1073741824, 1, false, u"1.0 GB"},
        {5ull << 40, 1, false, u"5120.0 GB"},  // 64 bits, no wrap
        {1536, 7, false, u"1.50 kB"},          // above 6: two decimals
        {1536, -1, false, u"2 kB"},            // below 0: none
        {1536, 6, false, u"1.500000 kB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatByteSize(c.bytes, c.precision, c.withBytes), S(c.text)) << c.bytes << " " << c.precision;
}

TEST(FileUtilText, DecodeUtf8IsLenientAndStopsAtACutSequence)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::u16string text;
        bool complete;
    } cases[] = {
        {{0xEF, 0xBB, 0xBF, 0x41}, u"\uFEFFA", true},
        {{0xE2, 0x82}, u"", false},
        {{0x41, 0xE2, 0x82}, u"A", false},
        {{0xF0, 0x9F, 0x98, 0x80}, u"\U0001F600", true},
        {{0x80, 0x41}, u"\u0080A", true},        // a stray continuation byte is its own value
        {{0xC3, 0x29}, u"\u00E9", true},         // the following byte's high bits are not checked
        {{0xC2, 0xA9, 0xE6, 0xBC, 0xA2}, u"\u00A9\u6F22", true},
        {{0xF7, 0xBF, 0xBF, 0xBF}, u"\uFFFD", true},  // 0x1FFFFF has no UTF-16 form
        {{0xF4, 0x8F, 0xBF, 0xBF}, u"\U0010FFFF", true},
        {{}, u"", true},
    };
    for (const Case& c : cases) {
        SharedString text(u"old");
        EXPECT_EQ(decodeUtf8ToString(c.bytes.data(), c.bytes.data() + c.bytes.size(), text), c.complete);
        EXPECT_EQ(text.view(), std::u16string_view(c.text));
    }
}

class FileUtilHost : public test::HostFixture {};

TEST_F(FileUtilHost, ReadFileToBufferNeedsAFileWithContent)
{
    device().writeFile("Temp/data.xml", "<a/>");
    Bytes buffer{1, 2, 3};
    EXPECT_TRUE(readFileToBuffer(*host_, buffer, S(u"\\Temp\\data.xml")));
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "<a/>");

    device().writeFile("Temp/empty.xml", "");
    EXPECT_FALSE(readFileToBuffer(*host_, buffer, S(u"\\Temp\\empty.xml")));
    EXPECT_TRUE(buffer.empty());
    buffer = {1};
    EXPECT_FALSE(readFileToBuffer(*host_, buffer, S(u"\\Temp\\missing.xml")));
    EXPECT_TRUE(buffer.empty());

    test::FaultInjectingHal faulty(host_, faults([](auto& p) { p.failReadAtOffset = 2; }));
    EXPECT_FALSE(readFileToBuffer(faulty, buffer, S(u"\\Temp\\data.xml")));
    EXPECT_EQ(faulty.closeCount(), 1);
}

TEST_F(FileUtilHost, WriteBufferToFileReplacesAndReportsEveryFailure)
{
    device().writeFile("Temp/out.bin", "old content");
    EXPECT_TRUE(writeBufferToFile(*host_, Bytes{'n', 'e', 'w'}, S(u"\\Temp\\out.bin")));
    EXPECT_EQ(device().readFile("Temp/out.bin"), "new");
    EXPECT_TRUE(writeBufferToFile(*host_, Bytes{}, S(u"\\Temp\\out.bin")));
    EXPECT_TRUE(device().exists("Temp/out.bin"));
    EXPECT_EQ(device().readFile("Temp/out.bin"), "");

    test::FaultInjectingHal shortWrite(host_, faults([](auto& p) { p.shortWriteNumber = 1; }));
    EXPECT_FALSE(writeBufferToFile(shortWrite, Bytes(100, 'x'), S(u"\\Temp\\out.bin")));
    test::FaultInjectingHal failedClose(host_, faults([](auto& p) { p.failClose = true; }));
    EXPECT_FALSE(writeBufferToFile(failedClose, Bytes(100, 'x'), S(u"\\Temp\\out.bin")));
    EXPECT_FALSE(writeBufferToFile(*host_, Bytes(1, 'x'), S(u"\\No Such Folder\\out.bin")));
}

TEST_F(FileUtilHost, CopyBetweenHostsTakesTheWholeFileOrItsFirstBytesAndLeavesNoPart)
{
    std::mt19937 random(5);
    std::string content(200000, '\0');
    for (char& c : content)
        c = static_cast<char>(random());
    device().writeFile("Temp/program.exe", content);
    const SharedString source = S(u"\\Temp\\program.exe");
    // Another host over the same device: the copy goes piece by piece.
    const auto other = std::make_shared<test::FaultInjectingHal>(host_);
    EXPECT_TRUE(copyFileBetweenHosts(host_, source, other, S(u"\\Temp\\whole.exe")));
    EXPECT_TRUE(device().readFile("Temp/whole.exe") == content);
    EXPECT_TRUE(copyFileBetweenHosts(host_, source, other, S(u"\\Temp\\head.exe"), 70000));
    EXPECT_TRUE(device().readFile("Temp/head.exe") == content.substr(0, 70000));
    EXPECT_TRUE(copyFileBetweenHosts(host_, source, host_, S(u"\\Temp\\same.exe"), 3));
    EXPECT_EQ(device().readFile("Temp/same.exe"), content.substr(0, 3));

    // More than the file holds is no copy of that part.
    EXPECT_FALSE(copyFileBetweenHosts(host_, source, other, S(u"\\Temp\\long.exe"), content.size() + 1));
    EXPECT_FALSE(device().exists("Temp/long.exe"));
    const auto failing = std::make_shared<test::FaultInjectingHal>(host_, faults([](auto& p) { p.failWriteNumber = 2; }));
    EXPECT_FALSE(copyFileBetweenHosts(host_, source, failing, S(u"\\Temp\\cut.exe"), 150000));
    EXPECT_FALSE(device().exists("Temp/cut.exe"));
    EXPECT_FALSE(copyFileBetweenHosts(host_, S(u"\\Temp\\missing.exe"), other, S(u"\\Temp\\none.exe")));
    EXPECT_FALSE(device().exists("Temp/none.exe"));
}

TEST_F(FileUtilHost, IsFolderWritableLeavesNoProbeBehind)
{
    EXPECT_TRUE(isFolderWritable(*host_, S(u"\\Temp")));
    EXPECT_FALSE(device().exists("Temp/testInstaller"));
    EXPECT_FALSE(isFolderWritable(*host_, S(u"\\Missing")));
    test::FaultInjectingHal refusing(host_, faults([](auto& p) { p.failOpenContaining = u"testInstaller"; }));
    EXPECT_FALSE(isFolderWritable(refusing, S(u"\\Temp")));
}

// A clean-up that fails leaves a line naming what stayed behind; one with
// nothing to do (a file already gone) leaves none.
TEST_F(FileUtilHost, CleanUpsThatFailAreLogged)
{
    test::DiagCapture log;
    device().writeFile("Temp/left.bin", "x");
    test::FaultInjectingHal refusing(host_, faults([](auto& p) { p.failDeleteContaining = u"left"; }));
    EXPECT_FALSE(deleteFileOrLog(refusing, S(u"\\Temp\\left.bin")));
    EXPECT_TRUE(device().exists("Temp/left.bin"));
    EXPECT_TRUE(log.contains(u"Deleting \\Temp\\left.bin failed (error 31)"));

    log.clear();
    EXPECT_TRUE(deleteFileOrLog(*host_, S(u"\\Temp\\left.bin")));
    EXPECT_FALSE(device().exists("Temp/left.bin"));
    EXPECT_TRUE(deleteFileOrLog(*host_, S(u"\\Temp\\left.bin")));  // gone already
    EXPECT_FALSE(log.contains(u"Deleting"));

    device().writeFile("Temp/full/inside.txt", "x");
    EXPECT_FALSE(removeDirectoryOrLog(*host_, S(u"\\Temp\\full")));
    EXPECT_TRUE(log.contains(u"Removing the folder \\Temp\\full failed (error 145)"));
    std::filesystem::remove(device().hostPath("Temp/full/inside.txt"));
    EXPECT_TRUE(removeDirectoryOrLog(*host_, S(u"\\Temp\\full")));
    EXPECT_FALSE(device().exists("Temp/full"));
}

TEST_F(FileUtilHost, CreateDirectoryRecursiveMakesEveryMissingLevel)
{
    EXPECT_TRUE(createDirectoryRecursive(*host_, S(u"\\Temp\\a\\b/c")));
    EXPECT_TRUE(device().exists("Temp/a/b/c"));
    EXPECT_TRUE(createDirectoryRecursive(*host_, S(u"\\Temp\\a\\b/c")));  // all there already

    // A file in the chain stops the walk below it.
    device().writeFile("Temp/file", "x");
    EXPECT_FALSE(createDirectoryRecursive(*host_, S(u"\\Temp\\file\\sub\\leaf")));
    EXPECT_FALSE(device().exists("Temp/file/sub"));
    // A file standing where the folder should be is no folder.
    EXPECT_FALSE(createDirectoryRecursive(*host_, S(u"\\Temp\\file")));
}

TEST_F(FileUtilHost, RangeAdler32IsNothingWhenTheRangeIsNotThere)
{
    device().writeFile("Temp/r.bin", "12345abc6789");
    const FileHandle handle = host_->openFileForRead(S(u"\\Temp\\r.bin"));
    ASSERT_NE(handle, kInvalidFileHandle);
    EXPECT_EQ(computeFileRangeAdler32(*host_, handle, 5, 3), 0x0127024Du);
    EXPECT_EQ(computeFileRangeAdler32(*host_, handle, 5, 0), 0x00010000u);
    EXPECT_EQ(computeFileRangeAdler32(*host_, handle, 5, 8), std::nullopt);   // one byte past the end
    EXPECT_EQ(computeFileRangeAdler32(*host_, handle, 50, 1), std::nullopt);  // wholly past the end
    EXPECT_EQ(computeFileRangeAdler32(*host_, kInvalidFileHandle, 0, 0), 0x00010000u);
    EXPECT_EQ(computeFileRangeAdler32(*host_, kInvalidFileHandle, 0, 1), std::nullopt);
    host_->closeFile(handle);
}

TEST_F(FileUtilHost, RangeAdler32AcrossPiecesMatchesZlib)
{
    std::mt19937 random(3);
    std::string content(1572864 + 17, '\0');
    for (char& c : content)
        c = static_cast<char>(random());
    device().writeFile("Temp/big.bin", content);
    const FileHandle handle = host_->openFileForRead(S(u"\\Temp\\big.bin"));
    ASSERT_NE(handle, kInvalidFileHandle);
    const auto* bytes = reinterpret_cast<const Bytef*>(content.data()) + 7;
    const uLong rfc = adler32(adler32(0, nullptr, 0), bytes, 1572864);
    const std::uint32_t expected = static_cast<std::uint32_t>((rfc << 16) | (rfc >> 16));
    EXPECT_EQ(computeFileRangeAdler32(*host_, handle, 7, 1572864), expected);
    host_->closeFile(handle);

    test::FaultInjectingHal faulty(host_, faults([](auto& p) { p.failReadAtOffset = 1000000; }));
    const FileHandle again = faulty.openFileForRead(S(u"\\Temp\\big.bin"));
    EXPECT_EQ(computeFileRangeAdler32(faulty, again, 7, 1572864), std::nullopt);
    faulty.closeFile(again);
}

TEST_F(FileUtilHost, Sha1HexOfTheWholeFile)
{
    device().writeFile("Temp/abc.txt", "abc");
    EXPECT_EQ(computeFileSha1Hex(*host_, S(u"\\Temp\\abc.txt")), S(u"A9993E364706816ABA3E25717850C26C9CD0D89D"));
    device().writeFile("Temp/empty.txt", "");
    EXPECT_EQ(computeFileSha1Hex(*host_, S(u"\\Temp\\empty.txt")), S(u"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"));
    EXPECT_EQ(computeFileSha1Hex(*host_, S(u"\\Temp\\missing.txt")), S(u""));

    device().writeFile("Temp/long.txt", std::string(40000, 'q'));
    test::FaultInjectingHal faulty(host_, faults([](auto& p) { p.failReadAtOffset = 20000; }));
    EXPECT_EQ(computeFileSha1Hex(faulty, S(u"\\Temp\\long.txt")), S(u""));
    EXPECT_EQ(faulty.closeCount(), 1);
}

}  // namespace
}  // namespace druvex
