// Backups checked by 7-Zip itself: what we write passes its test and
// extracts to the source tree, we restore the same tree, and archives that
// 7-Zip lays out its own way are refused rather than misread.
#include <gtest/gtest.h>

#include <string>

#include "seven_zip_fixture.h"
#include "support/seven_zip_folder_sink.h"

namespace druvex {
namespace {

class SevenZipInterop : public test::SevenZipFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("7zz"));
        test::SevenZipFixture::SetUp();
    }

    // A settings file, the backup information and nested job files, one of
    // them empty, and a job folder without files.
    void writeBackupSources()
    {
        std::string job;
        for (int i = 0; i < 3000; ++i)
            job += "point " + std::to_string(i) + " " + std::to_string(i * 7919 % 10007) + "\n";
        writeSource("Data/settings.xml", "<settings><unit>m</unit></settings>\n");
        writeSource("Data/info.xml", "<info version=\"1\"/>\n");
        device().makeFolder("Data/jobs/site1");
        writeSource("Data/jobs/site1/a.job", job);
        writeSource("Data/jobs/site1/b.job", job.substr(0, 777));
        device().makeFolder("Data/jobs/site2/deeper");
        writeSource("Data/jobs/site2/deeper/c.job", "c");
        writeSource("Data/jobs/empty.job", "");
        makeSourceFolder("Data/jobs/site3");
    }

    bool backUpSources(const std::string& archive = "out.7z")
    {
        return backUp({{"Data/settings.xml", "settings.xml"},
                       {"Data/info.xml", "info.xml"},
                       {"Data/jobs/site1/a.job", "jobs/site1/a.job"},
                       {"Data/jobs/site1/b.job", "jobs/site1/b.job"},
                       {"Data/jobs/site2/deeper/c.job", "jobs/site2/deeper/c.job"},
                       {"Data/jobs/empty.job", "jobs/empty.job"},
                       {"Data/jobs/site3", "jobs/site3"}},
                      archive);
    }

    std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }
    static std::string text(const test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
    // What diff -r finds between the folder and the backup's source tree.
    std::string differences(const std::filesystem::path& folder)
    {
        const auto compared = test::runTool("diff -r " + quoted(folder) + " " + quoted(device().hostPath("Data")));
        return compared.exitCode == 0 ? "" : "differ: " + text(compared.output);
    }
};

TEST_F(SevenZipInterop, SevenZipAndOurReaderExtractOurBackupAsTheSourceTree)
{
    writeBackupSources();
    ASSERT_TRUE(backUpSources());

    const auto tested = test::runTool("7zz t " + quoted(archiveHostPath()) + " 2>&1");
    const std::string testOutput = text(tested.output);
    EXPECT_EQ(tested.exitCode, 0) << testOutput;
    EXPECT_NE(testOutput.find("Everything is Ok"), std::string::npos) << testOutput;

    const auto listed = test::runTool("7zz l -slt " + quoted(archiveHostPath()) + " 2>&1");
    const std::string listing = text(listed.output);
    EXPECT_NE(listing.find("Method = LZMA:21"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Path = jobs/site2/deeper\n"), std::string::npos) << listing;
    // 7-Zip reads the sources' last-write times to the 100 ns.
    const auto listedInUtc = test::runTool("TZ=UTC 7zz l -slt " + quoted(archiveHostPath()) + " 2>&1");
    EXPECT_NE(text(listedInUtc.output).find("Modified = 2021-03-02 23:46:07.1234567\n"), std::string::npos)
        << text(listedInUtc.output);

    test::ScratchDir extracted;
    const auto extractedBy7zz =
        test::runTool("7zz x -bd -y -o" + quoted(extracted.path()) + " " + quoted(archiveHostPath()) + " 2>&1");
    ASSERT_EQ(extractedBy7zz.exitCode, 0) << text(extractedBy7zz.output);
    EXPECT_EQ(differences(extracted.path()), "");

    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    test::SevenZipFolderSink sink(host(), u"\\Restore");
    EXPECT_TRUE(reader.extract(sink));
    EXPECT_TRUE(sink.badFiles.empty());
    EXPECT_EQ(differences(device().hostPath("Restore")), "");
}

TEST_F(SevenZipInterop, ABackupOfNothingStillOpensEverywhere)
{
    ASSERT_TRUE(backUp({}));
    const auto tested = test::runTool("7zz t " + quoted(archiveHostPath()) + " 2>&1");
    const std::string testOutput = text(tested.output);
    EXPECT_EQ(tested.exitCode, 0) << testOutput;
    EXPECT_NE(testOutput.find("Everything is Ok"), std::string::npos) << testOutput;

    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    EXPECT_TRUE(entries.empty());
    test::SevenZipRecordingSink sink;
    EXPECT_TRUE(reader.extract(sink));
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(SevenZipInterop, ArchivesLaidOutBySevenZipAreRefused)
{
    writeBackupSources();
    const std::string sources = "cd " + quoted(device().hostPath("Data")) + " && 7zz a -bd ";
    for (const char* options : {"", "-mhc=off", "-m0=lzma:d=2m -mx5 -mmt1 -mhc=off", "-m0=copy -mhc=off"}) {
        SCOPED_TRACE(options);
        std::filesystem::remove(archiveHostPath("theirs.7z"));
        const auto made = test::runTool(sources + options + " " + quoted(archiveHostPath("theirs.7z")) +
                                        " settings.xml info.xml jobs >/dev/null 2>&1");
        ASSERT_EQ(made.exitCode, 0);
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader, "theirs.7z"));
        EXPECT_FALSE(reader.isOpen());
        test::SevenZipRecordingSink sink;
        EXPECT_FALSE(reader.extract(sink));
        EXPECT_TRUE(sink.events.empty());
    }
}

}  // namespace
}  // namespace druvex
