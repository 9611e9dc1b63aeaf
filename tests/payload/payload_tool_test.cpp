// The archive tool's packing: a package takes its files below the top-level
// folders its arguments name, and the archive holds the same bytes however
// many threads code its entries; the coder under it hands the entries back
// in their order and stops at the first that fails. A create that fails
// leaves the archive, or the program it was to be appended to, as it was;
// installer data that the installer would refuse is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "package_writer/package_writer.h"
#include "payload_test_support.h"
#include "payload_tool/parallel_coding.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const std::string kPayloadTool = DRUVEX_PAYLOAD_TOOL;

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

std::string textOf(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Installer data as small as the installer loads.
const std::string kInstallerData = "<data><Version>3</Version><Variables><Variable Type=\"ProgramUuid\" "
                                   "Value=\"{0A6C3E5B-2F41-4D8E-9B70-61C2A3D4E5F6}\"/></Variables></data>";

class PayloadTool : public ::testing::Test {
protected:
    fs::path at(const std::string& relative) const { return scratch_.path() / relative; }

    void writeFile(const std::string& relative, const Bytes& bytes) const
    {
        fs::create_directories(at(relative).parent_path());
        test::writeFileBytes(at(relative), bytes);
    }

    // The tool with `arguments` (shell words) in the scratch folder; its
    // status, standard output and standard error together.
    test::ToolResult run(const std::string& arguments) const
    {
        return test::runTool("cd " + quoted(scratch_.path()) + " && " + kPayloadTool + " " + arguments + " 2>&1");
    }

    // An entry's decoded bytes.
    Bytes extracted(const std::string& archive, const std::string& name) const
    {
        const test::ToolResult result = run("extract " + archive + " '" + name + "' -");
        EXPECT_EQ(result.exitCode, 0) << name;
        return result.output;
    }

    test::ScratchDir scratch_;
};

TEST_F(PayloadTool, APackageTakesTheTopFoldersItsArgumentsName)
{
    writeFile("program/bin/trail.exe", test::sampleData(3000, 1));
    writeFile("program/trail.ini", test::toBytes("[Display]\n"));
    writeFile("windows/trailfont.dll", test::sampleData(700, 2));
    writeFile("jobs/North ridge.job", test::toBytes("job"));
    writeFile("help/index.htm", test::toBytes("<html/>"));
    const test::ToolResult packed =
        run("create trail.dqres package:Feature_Program_1.0_.lzma=program "
            "package:Feature_Help_1.0_.lzma=help package:Feature_Program_1.0_.lzma=WINDOWS:windows "
            "'package:Feature_Program_1.0_.lzma=<JOBS>:jobs'");
    ASSERT_EQ(packed.exitCode, 0) << textOf(packed.output);

    // One package for the three arguments of one name, its top folders in
    // their order, each with the tree of its folder.
    tools::PackageWriter expected;
    std::string reason;
    ASSERT_TRUE(tools::addFolderTree(expected, at("program"), u"<TARGETDIR>", reason)) << reason;
    ASSERT_TRUE(tools::addFolderTree(expected, at("windows"), u"<WINDOWS>", reason)) << reason;
    ASSERT_TRUE(tools::addFolderTree(expected, at("jobs"), u"<JOBS>", reason)) << reason;
    EXPECT_TRUE(extracted("trail.dqres", "Feature_Program_1.0_.lzma") == expected.build());

    const std::string listing = textOf(run("list trail.dqres").output);
    EXPECT_EQ(listing.rfind("0\tFeature_Program_1.0_.lzma\t", 0), 0u) << listing;
    EXPECT_NE(listing.find("\n1\tFeature_Help_1.0_.lzma\t"), std::string::npos) << listing;
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 2) << listing;
    // The unpacked size counts the files of every top folder.
    EXPECT_NE(listing.find("\t" + std::to_string(3000 + 10 + 700 + 3) + "\t"), std::string::npos) << listing;
}

TEST_F(PayloadTool, ATopFolderIsAVariableNameBeforeAColon)
{
    writeFile("a:b/file.txt", test::toBytes("below a:b"));
    writeFile("<WINDOWS:plain/file.txt", test::toBytes("plain"));
    writeFile("system/file.txt", test::toBytes("system"));
    // A path that merely holds a colon after a slash, and an unclosed
    // bracket, are folders below <TARGETDIR>; the variable's name keeps the
    // spelling given.
    const test::ToolResult packed =
        run("create top.dqres package:P1=./a:b 'package:P2=<WINDOWS:plain' package:P3=SystemX86:system");
    ASSERT_EQ(packed.exitCode, 0) << textOf(packed.output);
    const std::pair<const char*, std::pair<const char*, const char16_t*>> packages[] = {
        {"P1", {"a:b", u"<TARGETDIR>"}}, {"P2", {"<WINDOWS:plain", u"<TARGETDIR>"}}, {"P3", {"system", u"<SystemX86>"}}};
    for (const auto& [name, source] : packages) {
        tools::PackageWriter expected;
        std::string reason;
        ASSERT_TRUE(tools::addFolderTree(expected, at(source.first), source.second, reason)) << reason;
        EXPECT_TRUE(extracted("top.dqres", name) == expected.build()) << name;
    }
    // Without the dot, "a" is the top folder and "b" the folder.
    EXPECT_EQ(run("create top.dqres package:P1=a:b").exitCode, 1);
}

TEST_F(PayloadTool, ATopFolderGivenTwiceOrAWrongJobCountIsAWrongCommandLine)
{
    writeFile("one/a.txt", test::toBytes("a"));
    writeFile("two/b.txt", test::toBytes("b"));
    const test::ToolResult twice = run("create x.dqres package:P=WINDOWS:one package:P=windows:two");
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_NE(textOf(twice.output).find("the package P is given the top folder <windows> twice"),
              std::string::npos)
        << textOf(twice.output);
    EXPECT_EQ(run("create x.dqres package:P=one package:P=TARGETDIR:two").exitCode, 2);
    EXPECT_EQ(run("create x.dqres package:P=WINDOWS: ").exitCode, 2);
    for (const char* jobs : {"--jobs=0", "--jobs=", "--jobs=two", "--jobs=-1"})
        EXPECT_EQ(run(std::string("create x.dqres ") + jobs + " package:P=one").exitCode, 2) << jobs;
    // Two names are two packages, whatever their folders.
    EXPECT_EQ(run("create x.dqres package:P=one package:Q=one").exitCode, 0);
}

TEST_F(PayloadTool, PacksTheSameBytesOnAnyNumberOfThreads)
{
    for (int feature = 0; feature < 6; ++feature) {
        for (int file = 0; file < 4; ++file) {
            writeFile("f" + std::to_string(feature) + "/d" + std::to_string(file % 2) + "/file" +
                          std::to_string(file) + ".bin",
                      test::sampleData(3000 + 1500 * static_cast<std::size_t>(feature * file),
                                       static_cast<unsigned>(feature * 10 + file)));
        }
    }
    writeFile("data.xml", test::toBytes(kInstallerData));
    writeFile("info.xml", test::toBytes("<InstallerConfiguration/>"));
    writeFile("coded.bin", test::sampleData(5000, 99));
    std::string entries = "lzma:Data=data.xml stored:InstallerInfo=info.xml zlib:Z=data.xml raw:1:5000:R=coded.bin";
    for (int feature = 0; feature < 6; ++feature) {
        const std::string name = "Feature_F" + std::to_string(feature) + "_1.0_.lzma";
        entries += " package:" + name + "=f" + std::to_string(feature);
        if (feature % 2 == 0)
            entries += " package:" + name + "=WINDOWS:f" + std::to_string(5 - feature);
    }
    ASSERT_EQ(run("create one.dqres --jobs=1 " + entries).exitCode, 0);
    const Bytes one = test::readFileBytes(at("one.dqres"));
    for (const char* jobs : {"--jobs=2", "--jobs=5", "--jobs=64", ""}) {
        const test::ToolResult packed = run(std::string("create many.dqres ") + jobs + " " + entries);
        ASSERT_EQ(packed.exitCode, 0) << jobs << ": " << textOf(packed.output);
        EXPECT_TRUE(test::readFileBytes(at("many.dqres")) == one) << jobs;
    }
    EXPECT_EQ(run("verify many.dqres").exitCode, 0);
    // No scratch file is left beside the archive.
    for (const auto& entry : fs::directory_iterator(scratch_.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".payload_tool")) << entry.path();

    // Appended to a program file, the same entries at their place.
    writeFile("setup.exe", test::sampleData(1234, 5));
    ASSERT_EQ(run("create setup.exe --append --jobs=3 " + entries).exitCode, 0);
    const Bytes program = test::readFileBytes(at("setup.exe"));
    ASSERT_GT(program.size(), 1234u);
    EXPECT_EQ(run("verify setup.exe").exitCode, 0);
}

// The directory cannot hold a name of 65,536 units: the archive fails only
// when all its entries are written.
// The installer data is read as the installer reads it, when it is packed
// and when it is verified: a misspelt element, and a document the installer
// would refuse, are told on standard error, and the tool's work and status
// stay as they were. Quoted bytes cannot reach the terminal raw.
TEST_F(PayloadTool, TheInstallerDataIsReadAsTheInstallerReadsIt)
{
    const std::string misspelt = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n"
                                 " <Shortcuts>\n  <Shortcat\x1B[2J Name=\"x\"/>\n </Shortcuts>\n"
                                 " <Variables><Variable Type=\"ProgramUuid\" Value=\"{0A6C3E5B-2F41-4D8E-9B70-61C2A3D4E5F6}\"/>"
                                 "</Variables>\n</data>\n";
    writeFile("data.xml", test::toBytes(misspelt));
    const std::string line = "payload_tool: Data (data.xml): The installer data names an unknown element "
                             "\"Shortcat\\x1b[2J\" (in \"Shortcuts\", line 5): passed over\n";
    const test::ToolResult packed = run("create product.dqres Data=data.xml");
    EXPECT_EQ(packed.exitCode, 0);
    EXPECT_EQ(textOf(packed.output), line);
    const std::string verify = "cd " + quoted(scratch_.path()) + " && " + kPayloadTool + " verify product.dqres";
    const test::ToolResult verified = test::runTool(verify + " 2>/dev/null");
    EXPECT_EQ(verified.exitCode, 0);
    EXPECT_EQ(textOf(verified.output), "OK\tData\n");
    EXPECT_EQ(textOf(test::runTool(verify + " 2>&1 >/dev/null").output),
              "payload_tool: Data: The installer data names an unknown element \"Shortcat\\x1b[2J\" (in "
              "\"Shortcuts\", line 5): passed over\n");
    EXPECT_EQ(textOf(extracted("product.dqres", "Data")), misspelt);

    writeFile("broken.xml", test::toBytes("<data><Version>2</Version></data>"));
    const test::ToolResult refused = run("create broken.dqres Data=broken.xml");
    EXPECT_EQ(refused.exitCode, 0);
    EXPECT_EQ(textOf(refused.output), "payload_tool: Data (broken.xml): The installer data does not parse: the "
                                      "element \"Version\" at byte 6 was refused\n");
}

TEST_F(PayloadTool, AFailedCreateLeavesItsTargetAsItWas)
{
    writeFile("data.xml", test::toBytes(kInstallerData));
    writeFile("coded.bin", test::sampleData(70000, 7));
    const std::string failing = "lzma:Data=data.xml stored:" + std::string(65536, 'n') + "=coded.bin";
    ASSERT_EQ(run("create old.dqres lzma:Data=data.xml").exitCode, 0);
    const Bytes old = test::readFileBytes(at("old.dqres"));
    writeFile("setup.exe", test::sampleData(1234, 5));
    const Bytes program = test::readFileBytes(at("setup.exe"));
    for (const char* jobs : {"--jobs=1", "--jobs=3"}) {
        SCOPED_TRACE(jobs);
        const test::ToolResult replaced = run(std::string("create old.dqres ") + jobs + " " + failing);
        EXPECT_EQ(replaced.exitCode, 1);
        EXPECT_NE(textOf(replaced.output).find("cannot finish old.dqres (error 101)"), std::string::npos)
            << textOf(replaced.output);
        EXPECT_TRUE(test::readFileBytes(at("old.dqres")) == old);
        EXPECT_EQ(run(std::string("create new.dqres ") + jobs + " " + failing).exitCode, 1);
        EXPECT_FALSE(fs::exists(at("new.dqres")));
        EXPECT_EQ(run(std::string("create setup.exe --append ") + jobs + " " + failing).exitCode, 1);
        EXPECT_TRUE(test::readFileBytes(at("setup.exe")) == program);
        for (const auto& entry : fs::directory_iterator(scratch_.path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".payload_tool")) << entry.path();
    }
    EXPECT_EQ(run("verify old.dqres").exitCode, 0);
}

// Installer data the installer would refuse never makes it into an
// archive: without a ProgramUuid its product would share the data folder,
// and so the installed log, of every other such product.
TEST_F(PayloadTool, InstallerDataWithoutAProgramUuidIsRefused)
{
    writeFile("data.xml", test::toBytes(kInstallerData));
    writeFile("nameless.xml", test::toBytes("<data><Version>3</Version><Variables><Variable Type=\"ProgramName\" "
                                            "Value=\"Survey\"/><Variable Type=\"ProgramUuid\" Value=\" \"/>"
                                            "</Variables></data>"));
    writeFile("broken.xml", test::toBytes("<data><Version>3</Version>"));
    ASSERT_EQ(run("create old.dqres lzma:Data=data.xml").exitCode, 0);
    const Bytes old = test::readFileBytes(at("old.dqres"));
    const struct {
        std::string entries;
        std::string told;
    } rows[] = {
        {"lzma:Data=nameless.xml", "the installer data nameless.xml of Data names no ProgramUuid"},
        {"stored:Data=nameless.xml", "the installer data nameless.xml of Data names no ProgramUuid"},
        {"lzma:Data=data.xml lzma:MergeProjectData_Tools=nameless.xml",
         "the installer data nameless.xml of MergeProjectData_Tools names no ProgramUuid"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entries);
        const test::ToolResult refused = run("create old.dqres " + row.entries);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(textOf(refused.output).find(row.told), std::string::npos) << textOf(refused.output);
        EXPECT_TRUE(test::readFileBytes(at("old.dqres")) == old);
    }
    // Other entries are no installer data, raw bytes are taken as they are,
    // and data that does not read is the installer's to report.
    EXPECT_EQ(run("create other.dqres lzma:Data=data.xml stored:Notes=nameless.xml raw:1:10:Data2=broken.xml").exitCode,
              0);
    EXPECT_EQ(run("create broken.dqres lzma:Data=broken.xml").exitCode, 0);
}

// The coder itself, with jobs of the test's making.
class ParallelCodingThreads : public ::testing::Test {
protected:
    test::ScratchDir scratch_;
};

TEST_F(ParallelCodingThreads, EntriesComeBackInTheirOrderWhicheverIsCodedFirst)
{
    // The first job finishes only after the last has been coded.
    std::atomic<bool> lastDone{false};
    std::vector<tools::CodingJob> jobs;
    for (int index = 0; index < 6; ++index) {
        jobs.push_back([index, &lastDone](const EntryWriteFunction& write, std::string&) {
            while (index == 0 && !lastDone.load())
                std::this_thread::yield();
            const Bytes bytes = test::sampleData(1000 + static_cast<std::size_t>(index) * 100000,
                                                 static_cast<unsigned>(index));
            const bool written = write(bytes.data(), bytes.size() / 2) &&
                                 write(bytes.data() + bytes.size() / 2, bytes.size() - bytes.size() / 2);
            if (index == 5)
                lastDone = true;
            return written;
        });
    }
    std::vector<std::size_t> order;
    std::string reason;
    const bool coded = tools::codeInParallel(
        jobs, 3, scratch_.path(),
        [&](std::size_t index, std::uint64_t size, const EntryReadFunction& read) {
            order.push_back(index);
            Bytes got;
            std::vector<std::uint8_t> buffer(4096);
            for (std::int64_t count; (count = read(buffer.data(), buffer.size())) > 0;)
                got.insert(got.end(), buffer.begin(), buffer.begin() + count);
            EXPECT_EQ(got.size(), size);
            EXPECT_TRUE(got == test::sampleData(1000 + index * 100000, static_cast<unsigned>(index))) << index;
            return true;
        },
        reason);
    EXPECT_TRUE(coded) << reason;
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(fs::is_empty(scratch_.path()));
}

TEST_F(ParallelCodingThreads, TheFirstFailureEndsTheCodingWithItsReason)
{
    std::vector<tools::CodingJob> jobs;
    for (int index = 0; index < 40; ++index) {
        jobs.push_back([index](const EntryWriteFunction& write, std::string& reason) {
            if (index == 2) {
                reason = "cannot read the files of two";
                return false;
            }
            const Bytes bytes = test::sampleData(50000, static_cast<unsigned>(index));
            return write(bytes.data(), bytes.size());
        });
    }
    std::vector<std::size_t> taken;
    std::string reason;
    EXPECT_FALSE(tools::codeInParallel(
        jobs, 2, scratch_.path(),
        [&](std::size_t index, std::uint64_t, const EntryReadFunction&) {
            taken.push_back(index);
            return true;
        },
        reason));
    EXPECT_EQ(reason, "cannot read the files of two");
    EXPECT_EQ(taken, (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(fs::is_empty(scratch_.path()));

    // A taker that refuses stops the coding too.
    taken.clear();
    EXPECT_FALSE(tools::codeInParallel(
        std::vector<tools::CodingJob>(jobs.begin() + 3, jobs.end()), 4, scratch_.path(),
        [&](std::size_t index, std::uint64_t, const EntryReadFunction&) {
            taken.push_back(index);
            return index < 1;
        },
        reason));
    EXPECT_EQ(taken, (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(fs::is_empty(scratch_.path()));

    // A folder where no scratch file can be made.
    EXPECT_FALSE(tools::codeInParallel(
        jobs, 2, scratch_.path() / "missing", [](std::size_t, std::uint64_t, const EntryReadFunction&) { return true; },
        reason));
    EXPECT_NE(reason.find("cannot make a scratch file in"), std::string::npos) << reason;
}

TEST(ParallelCoding, CodesAsManyEntriesAtOnceAsTheCoresAndTheMemoryAllow)
{
    EXPECT_EQ(tools::codingThreadsFor(8, 0), 8u);
    EXPECT_EQ(tools::codingThreadsFor(8, 64ull << 30), 8u);
    EXPECT_EQ(tools::codingThreadsFor(8, 1ull << 30), 5u);
    EXPECT_EQ(tools::codingThreadsFor(8, 100ull << 20), 1u);
    EXPECT_EQ(tools::codingThreadsFor(0, 0), 1u);
    EXPECT_GE(tools::defaultCodingThreads(), 1u);
}

}  // namespace
}  // namespace druvex
