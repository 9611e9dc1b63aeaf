// The package writer's stream read piece by piece: the same bytes as the
// whole stream in any piece size, and a source file that shrank is a failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "package_writer/package_writer.h"
#include "payload_test_support.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

using test::Bytes;

TEST(PackageStreamReader, AnyPieceSizeGivesTheWholeStream)
{
    test::ScratchDir scratch;
    const Bytes big = test::sampleData(70000, 3);
    test::writeFileBytes(scratch.path() / "big.bin", big);
    test::writeFileBytes(scratch.path() / "empty.bin", {});
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>")
        .addFile(u"a.txt", test::toBytes("in memory"))
        .addFile(u"none.txt", {})
        .addFileFrom(u"big.bin", scratch.path() / "big.bin", big.size())
        .addFileFrom(u"empty.bin", scratch.path() / "empty.bin", 0)
        .addData(3, test::toBytes("<Fragment/>"))
        .closeFolder();
    const Bytes whole = writer.build();
    ASSERT_FALSE(whole.empty());
    for (const std::size_t piece : {1u, 7u, 4096u, 1u << 20}) {
        tools::PackageStreamReader reader(writer);
        EXPECT_EQ(reader.size(), whole.size());
        Bytes read;
        std::vector<std::uint8_t> buffer(piece);
        for (std::int64_t got; (got = reader.read(buffer.data(), piece)) > 0;)
            read.insert(read.end(), buffer.begin(), buffer.begin() + got);
        EXPECT_TRUE(read == whole) << piece;
    }
}

TEST(PackageStreamReader, ASourceFileThatShrankFailsTheRead)
{
    test::ScratchDir scratch;
    test::writeFileBytes(scratch.path() / "file.bin", test::sampleData(5000));
    tools::PackageWriter writer;
    writer.addFileFrom(u"file.bin", scratch.path() / "file.bin", 5000);
    test::writeFileBytes(scratch.path() / "file.bin", test::sampleData(100));
    tools::PackageStreamReader reader(writer);
    std::vector<std::uint8_t> buffer(1 << 16);
    EXPECT_EQ(reader.read(buffer.data(), buffer.size()), -1);
    EXPECT_TRUE(writer.build().empty());
    std::filesystem::remove(scratch.path() / "file.bin");
    tools::PackageStreamReader missing(writer);
    EXPECT_EQ(missing.read(buffer.data(), buffer.size()), -1);
}

}  // namespace
}  // namespace druvex
