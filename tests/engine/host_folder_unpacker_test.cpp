// The engine's unpacker of custom-action and redistributable packages into a
// folder: from the archive or a local package file, the package's top-level
// folder becoming the folder; sources tried in order, a failed one leaving
// nothing behind; a download never fetched.
#include <gtest/gtest.h>

#include "data/custom_action.h"
#include "data/package_sources.h"
#include "engine/host_folder_unpacker.h"
#include "engine_fixture.h"
#include "package_writer/package_writer.h"
#include "payload/payload_archive.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

using test::Bytes;

// A package like the archive's: "<TARGETDIR>" with a script and a nested
// file, and a file at the top level beside it.
Bytes actionPackage()
{
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>")
        .addFile(u"run.lua", test::toBytes("return 0"))
        .openFolder(u"lib")
        .addFile(u"helper.lua", test::sampleData(9000))
        .closeFolder()
        .closeFolder()
        .addFile(u"top.txt", test::toBytes("top"));
    return writer.build();
}

class HostFolderUnpackerTest : public test::EngineHostFixture {
protected:
    PayloadArchive& archiveWith(const Bytes& package)
    {
        const Bytes archive =
            test::buildArchive({test::codedEntry(u"Action__.lzma", kPayloadMethodLzma, package)});
        return opened(placeFile("setup.dqres", archive));
    }

    CustomAction action_;
    const SharedString folder_{u"\\Temp\\Work\\CustomActions\\Action"};
};

TEST_F(HostFolderUnpackerTest, AnArchiveEntryUnpacksIntoTheFolder)
{
    HostFolderUnpacker unpacker(archiveWith(actionPackage()));
    ASSERT_TRUE(unpacker.unpackToFolder(action_, {PackageSource{kSourceArchiveEntry, SharedString(u"Action__.lzma")}},
                                        *host_, folder_));
    EXPECT_EQ(device().readFile("Temp/Work/CustomActions/Action/run.lua"), "return 0");
    const Bytes helper = test::sampleData(9000);
    EXPECT_EQ(device().readFile("Temp/Work/CustomActions/Action/lib/helper.lua"),
              std::string(helper.begin(), helper.end()));
    EXPECT_EQ(device().readFile("Temp/Work/CustomActions/Action/top.txt"), "top");
}

TEST_F(HostFolderUnpackerTest, SourcesAreTriedInOrderAndAFailedOneLeavesNothing)
{
    // A local package cut short after its first file: that file was written
    // when the decoder ran out.
    const Bytes whole = actionPackage();
    Bytes coded;
    ASSERT_TRUE(encodeLzmaEntry(whole, coded));
    const Bytes cut(coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(coded.size() * 3 / 4));
    const SharedString local = placeFile("Action.lzma", cut);

    HostFolderUnpacker unpacker(archiveWith(actionPackage()));
    const std::vector<PackageSource> failing{{kSourceLocalFile, local},
                                             {kSourceDownload, SharedString(u"http://127.0.0.1:1/a.lzma")}};
    EXPECT_FALSE(unpacker.unpackToFolder(action_, failing, *host_, folder_));
    EXPECT_FALSE(device().exists("Temp/Work/CustomActions/Action/run.lua"));
    EXPECT_FALSE(device().exists("Temp/Work/CustomActions/Action/lib/helper.lua"));

    std::vector<PackageSource> sources = failing;
    sources.push_back({kSourceArchiveEntry, SharedString(u"Action__.lzma")});
    ASSERT_TRUE(unpacker.unpackToFolder(action_, sources, *host_, folder_));
    EXPECT_EQ(device().readFile("Temp/Work/CustomActions/Action/top.txt"), "top");

    // A whole local package is taken as it is.
    const SharedString good = placeFile("Good.lzma", coded);
    const SharedString other(u"\\Temp\\Work\\Redist\\Other");
    ASSERT_TRUE(unpacker.unpackToFolder(action_, {{kSourceLocalFile, good}}, *host_, other));
    EXPECT_EQ(device().readFile("Temp/Work/Redist/Other/run.lua"), "return 0");
}

// The installer data may name an item with no package under the same name as
// a redistributable's: that source is none, not a package that failed.
TEST_F(HostFolderUnpackerTest, AnEntryTheArchiveDoesNotHoldIsPassedOverWithoutAnError)
{
    HostFolderUnpacker unpacker(archiveWith(actionPackage()));
    test::DiagCapture capture;
    ASSERT_TRUE(unpacker.unpackToFolder(action_,
                                        {{kSourceArchiveEntry, SharedString(u"Action_1.0_.lzma")},
                                         {kSourceArchiveEntry, SharedString(u"Action__.lzma")}},
                                        *host_, folder_));
    EXPECT_EQ(device().readFile("Temp/Work/CustomActions/Action/top.txt"), "top");
    for (const std::u16string& line : capture.lines())
        EXPECT_EQ(line.find(u"could not be unpacked"), std::u16string::npos) << toUtf8(SharedString(line)).c_str();
}

TEST_F(HostFolderUnpackerTest, NoSourceOrAMissingEntryFails)
{
    HostFolderUnpacker unpacker(archiveWith(actionPackage()));
    EXPECT_FALSE(unpacker.unpackToFolder(action_, {}, *host_, folder_));
    EXPECT_FALSE(unpacker.unpackToFolder(action_, {{kSourceArchiveEntry, SharedString(u"Other__.lzma")}}, *host_,
                                         folder_));
    EXPECT_FALSE(device().exists("Temp/Work/CustomActions/Action"));
}

}  // namespace
}  // namespace druvex
