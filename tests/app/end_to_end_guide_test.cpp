// The guide to making a product of one's own (docs/making-a-product.md),
// followed as a reader follows it: each file it shows is written, each shell
// block it shows is run in turn in one folder, with payload_tool and the
// installer on the path, and each output it shows must appear in what the
// block before it printed (a log line from its message on). The product it
// makes then stands installed on its device, with every piece the guide
// promises; later the guide updates it, repairs it and removes a feature of
// it, and the program it carries to the device and leaves there as the
// installed copy has no debug information and fits in 4 MB.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/content_tree.h"
#include "data/feature.h"
#include "data/installed_log.h"
#include "program_fixture.h"
#include "support/elf_sections.h"
#include "support/external_tool.h"
#include "support/package_fixtures.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::narrow;
using test::quoted;
using test::textOf;

// One fenced block of the guide, with what it asks of the reader, or the
// heading of one of its chapters.
struct GuideBlock {
    enum class Kind { WriteFile, AppendFile, Shell, Console, Output, Chapter };
    Kind kind;
    std::string path;  // the file, for the file blocks
    std::string text;  // the block's lines, each ended by a line feed; a chapter's title
    int line = 0;      // where the block starts in the guide
};

// The blocks the guide asks something of: a block right after a line
// "`PATH`:" is that file's content (after "`PATH`, continued:" it goes on
// the file); a block "sh" is run; a block "console" shows what the reader
// types on a terminal; a block "output" lists lines the block before it
// printed. Other blocks only show things. A line "## TITLE" begins a chapter.
std::vector<GuideBlock> readGuide(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<GuideBlock> blocks;
    const std::regex fileLabel("^`([^`]+)`(, continued)?:$");
    std::string previous;  // the last line that is not empty
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].starts_with("```")) {
            if (lines[i].starts_with("## "))
                blocks.push_back({GuideBlock::Kind::Chapter, "", lines[i].substr(3), static_cast<int>(i + 1)});
            if (!lines[i].empty())
                previous = lines[i];
            continue;
        }
        GuideBlock block{GuideBlock::Kind::Shell, "", "", static_cast<int>(i + 1)};
        const std::string info = lines[i].substr(3);
        for (++i; i < lines.size() && lines[i] != "```"; ++i)
            block.text += lines[i] + "\n";
        std::smatch label;
        if (std::regex_match(previous, label, fileLabel)) {
            block.kind = label[2].matched ? GuideBlock::Kind::AppendFile : GuideBlock::Kind::WriteFile;
            block.path = label[1];
            blocks.push_back(block);
        } else if (info == "sh" || info == "console" || info == "output") {
            block.kind = info == "sh"        ? GuideBlock::Kind::Shell
                         : info == "console" ? GuideBlock::Kind::Console
                                             : GuideBlock::Kind::Output;
            blocks.push_back(block);
        }
        previous.clear();
    }
    return blocks;
}

class EndToEndGuide : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path payloadTool = DRUVEX_PAYLOAD_TOOL;
        const fs::path setup = test::kSetupProgram;
        path_ = payloadTool.parent_path().string() + ":" + setup.parent_path().string() + ":" +
                (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    }

    fs::path at(const std::string& relative) const { return work_.path() / relative; }
    std::string read(const std::string& relative) const { return textOf(test::readFileBytes(at(relative))); }

    // A shell block in the work folder, as the reader's shell runs it: its
    // status, and standard output and error together.
    test::ToolResult runBlock(const GuideBlock& block) const
    {
        const fs::path script = scripts_.path() / ("block-" + std::to_string(block.line) + ".sh");
        std::ofstream(script) << block.text;
        return test::runTool("cd " + quoted(work_.path()) + " && PATH=" + quoted(fs::path(path_)) + " sh -e " +
                             quoted(script) + " 2>&1");
    }

    // A wizard the guide shows, as the reader walks it: the screen it shows
    // where the reader leaves it with Escape and Yes, and the run's log.
    // The wizard of the product with the licence it cannot find goes to the
    // licence page; the German one stays on its first page.
    std::string walkWizard(const GuideBlock& block)
    {
        struct Wizard {
            const char* command;
            const char* product;
            std::vector<std::pair<const char*, const char*>> steps;
        };
        const Wizard wizards[] = {
            {"sh try.sh broken wizard",
             "broken",
             {{"Click Next to continue.", "Enter"},
              {"Welcome to the setup of Trail Log.", "Enter"},
              {"I accept the terms", "Escape"},
              {"Are you sure", "Enter"}}},
            {"DEVICE_INI=device-de.ini sh try.sh trail-de wizard",
             "trail-de",
             {{"Klicken Sie auf Weiter, um fortzufahren.", "Escape"}, {"Are you sure", "Enter"}}},
        };
        const Wizard* wizard = nullptr;
        for (const Wizard& known : wizards) {
            if (block.text == std::string("$ ") + known.command + "\n")
                wizard = &known;
        }
        if (!wizard) {
            ADD_FAILURE() << "the guide shows a wizard the test does not know, at line " << block.line;
            return "";
        }
        test::TmuxSession session({"sh", "-c",
                                   "cd " + quoted(work_.path()) + " && PATH=" + quoted(fs::path(path_)) + " " +
                                       wizard->command});
        std::string printed;
        for (const auto& [screen, key] : wizard->steps) {
            if (!session.waitFor(screen)) {
                ADD_FAILURE() << "the wizard never showed \"" << screen << "\":\n" << session.lastScreen();
                return "";
            }
            if (printed.empty() && std::string(key) == "Escape")
                printed = session.lastScreen();
            session.sendKeys({key});
        }
        EXPECT_EQ(session.waitForExit(), 0) << session.lastScreen();
        return printed + read(std::string(wizard->product) + "-device/fs/Temp/TrailSetup/TrailSetup1.log.txt");
    }

    // Every line of an output block is in what the block printed; a log
    // line counts from its message on.
    static void expectPrinted(const GuideBlock& expected, const std::string& printed, int shellLine)
    {
        std::string actual = printed;
        std::erase(actual, '\r');
        const std::regex logPrefix("^T\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ; [0-9a-f]{8} ; ");
        std::istringstream lines(expected.text);
        for (std::string line; std::getline(lines, line);) {
            const std::string message = std::regex_replace(line, logPrefix, "");
            if (message.empty())
                continue;
            EXPECT_NE(actual.find(message), std::string::npos)
                << "the block at line " << shellLine << " of the guide did not print the line at line "
                << expected.line << ":\n  " << message << "\nIt printed:\n" << actual;
        }
    }

    // Follows every block of the guide in order; `atChapter` is called with
    // the title of each chapter as it begins.
    void followGuide(const std::function<void(const std::string&)>& atChapter)
    {
        const std::vector<GuideBlock> blocks = readGuide(fs::path(DRUVEX_SOURCE_DIR) / "docs/making-a-product.md");
        ASSERT_GT(blocks.size(), 20u);
        std::string printed;
        int shellLine = 0;
        for (const GuideBlock& block : blocks) {
            switch (block.kind) {
            case GuideBlock::Kind::WriteFile:
            case GuideBlock::Kind::AppendFile: {
                ASSERT_FALSE(block.path.starts_with("/") || block.path.find("..") != std::string::npos)
                    << block.path;
                fs::create_directories(at(block.path).parent_path());
                const auto mode = block.kind == GuideBlock::Kind::AppendFile ? std::ios::app : std::ios::trunc;
                std::ofstream(at(block.path), std::ios::binary | mode) << block.text;
                written_.insert(block.path);
                break;
            }
            case GuideBlock::Kind::Shell: {
                const test::ToolResult result = runBlock(block);
                printed = textOf(result.output);
                shellLine = block.line;
                ASSERT_EQ(result.exitCode, 0) << "the block at line " << block.line << " of the guide:\n"
                                              << block.text << "printed:\n" << printed;
                break;
            }
            case GuideBlock::Kind::Console:
                // What needs the reader's own shell is not run, except the
                // wizards, which the test walks.
                shellLine = 0;
                if (block.text.find(" wizard") != std::string::npos) {
                    printed = walkWizard(block);
                    shellLine = block.line;
                }
                break;
            case GuideBlock::Kind::Chapter:
                atChapter(block.text);
                break;
            case GuideBlock::Kind::Output:
                ASSERT_NE(shellLine, 0) << "an output block after nothing that ran, at line " << block.line;
                expectPrinted(block, printed, shellLine);
                break;
            }
        }
    }

    // The installed log of the guide's product on its device.
    void readInstalledLog(InstalledLog& log) const
    {
        const Bytes bytes = test::readFileBytes(
            at("trail-device/fs/Windows/_QuendaSuperInstaller/{5B0E9C42-7D13-4A8F-B6E2-91C3D4A5F708}/"
               "InstalledLog.xml"));
        EXPECT_TRUE(log.loadFromBuffer(bytes.data(), bytes.size()));
    }

    // The guide's product, as its silent installation left it.
    void expectEveryPieceInstalled() const
    {
        // The guide's product has every piece it explains.
        for (const char* file : {"trail/data.xml", "trail/InstallerInfo.xml", "trail/licence/licence.txt",
                                 "trail/checks/OsVersion/Check.lua", "trail/checks/OsVersion/Requirement.xml",
                                 "trail/actions/CrewFile/crew.lua", "trail/redist/RedistInfo.xml",
                                 "trail/redist/Runtime/setup.lua", "pack.sh", "try.sh", "device.ini"})
            EXPECT_TRUE(written_.contains(file)) << file;
        const std::string data = read("trail/data.xml");
        for (const char* piece : {"Type=\"ProgramUuid\"", "Type=\"InstallFolderMobile\"", "<SupportedPlatforms>",
                                  "<Requirement name=\"OsVersion\"", "<InstallerVariable name=\"JOBS\"", "<SubFeatures>",
                                  "<LanguageTemplate feature=\"Help\"", "Name=\"EULA\"", "<RequiresRedist>",
                                  "<CustomAction Name=\"CrewFile\"", "[INSTALL-EXIT]CrewFile;", "function exec()",
                                  "function execEx()", "<CustomPagesSequence>"})
            EXPECT_NE(data.find(piece), std::string::npos) << piece;
        EXPECT_NE(read("pack.sh").find("=WINDOWS:"), std::string::npos);
        EXPECT_NE(read("pack.sh").find("=JOBS:"), std::string::npos);
        // The scripts the installer reads as UTF-16 are so.
        for (const char* script : {"trail/actions/CrewFile/crew.lua", "trail/redist/Runtime/setup.lua"})
            EXPECT_TRUE(read(script).starts_with(std::string("f\0u\0n\0c", 7))) << script;

        // Its silent installation put every piece in place.
        const std::string fs = "trail-device/fs/";
        EXPECT_EQ(read(fs + "Program Files/TrailLog/TrailLog.exe"), read("trail/files/Program/TrailLog.exe"));
        EXPECT_EQ(read(fs + "Windows/trailfont.dll"), read("trail/files/Program-Windows/trailfont.dll"));
        EXPECT_EQ(read(fs + "My Documents/Trail Jobs/North ridge.job"), read("trail/files/Samples/North ridge.job"));
        EXPECT_EQ(read(fs + "Program Files/TrailLog/Codes/codes.txt"), read("trail/files/Codes/Codes/codes.txt"));
        EXPECT_TRUE(fs::exists(at(fs + "Program Files/TrailLog/Help/en/index.htm")));
        EXPECT_FALSE(fs::exists(at(fs + "Program Files/TrailLog/Help/de")));
        EXPECT_EQ(read(fs + "Windows/trailrt.dll"), read("trail/redist/Runtime/trailrt.dll"));
        EXPECT_EQ(read(fs + "Program Files/TrailLog/crew.txt"), "Crew: Crew 1\r\n");
        EXPECT_TRUE(fs::exists(at(fs + "Windows/Start Menu/Programs/Trail Log.lnk")));
        const std::string registry = read("trail-device/registry.reg");
        EXPECT_NE(registry.find("[HKEY_LOCAL_MACHINE\\Software\\TrailLog]\n\"InstallDir\"=\"\\\\Program Files"),
                  std::string::npos)
            << registry;

        InstalledLog log;
        readInstalledLog(log);
        std::set<std::string> features;
        for (int index = 0; index < log.getFeatureCount(); ++index)
            features.insert(narrow(log.getFeature(index)->getName().view()));
        EXPECT_EQ(features, (std::set<std::string>{"Feature/Program", "Feature/Extras", "Feature/Extras/Samples",
                                                   "Feature/Extras/Codes", "Feature/Help/English"}));
        ASSERT_TRUE(log.getEula());
        EXPECT_EQ(narrow(log.getEula()->path.view()), "ExtraData/EULA/English");
    }

    // The program the product carries to the device, and leaves there as
    // the installed copy, without debug information.
    void expectProgramToCarry(const std::string& program) const
    {
        const auto sections = test::elfSections(at(program));
        ASSERT_TRUE(sections.contains(".text")) << program;
        EXPECT_FALSE(test::hasDebugSections(sections)) << program;
#ifndef DRUVEX_SANITIZED
        // The sanitizers' instrumentation is no part of what is shipped.
        EXPECT_LE(fs::file_size(at(program)), 4u * 1024 * 1024) << program;
#endif
    }

    // What the chapter on the life of the product left: Trail Log 1.1 with
    // its new code list, the program repaired, the sample jobs removed, and
    // the installer's copy in the product data folder.
    void expectUpdatedRepairedAndWithoutTheSamples() const
    {
        const std::string fs = "trail-device/fs/";
        EXPECT_EQ(read(fs + "Program Files/TrailLog/Codes/codes.txt"), read("trail11/files/Codes/Codes/codes.txt"));
        EXPECT_EQ(read(fs + "Program Files/TrailLog/trail.ini"), read("trail/files/Program/trail.ini"));
        EXPECT_FALSE(fs::exists(at(fs + "My Documents/Trail Jobs/North ridge.job")));
        InstalledLog log;
        readInstalledLog(log);
        std::map<std::string, std::string> versions;
        for (int index = 0; index < log.getFeatureCount(); ++index) {
            const FeaturePtr& feature = log.getFeature(index);
            versions[narrow(feature->getName().view())] = narrow(feature->getVersion().view());
        }
        EXPECT_EQ(versions["Feature/Extras/Codes"], "1.1");
        EXPECT_EQ(versions["Feature/Program"], "1.0");
        EXPECT_FALSE(versions.contains("Feature/Extras/Samples"));

        expectProgramToCarry(fs + "Temp/TrailSetup/TrailSetup.exe");
        expectProgramToCarry(fs + "Temp/TrailSetup11/TrailSetup.exe");
        expectProgramToCarry(fs + "Windows/_QuendaSuperInstaller/{5B0E9C42-7D13-4A8F-B6E2-91C3D4A5F708}/setup.exe");
    }

    test::ScratchDir work_;
    test::ScratchDir scripts_;
    std::string path_;
    std::set<std::string> written_;
};

TEST_F(EndToEndGuide, ItsStepsMakeAProductWithEveryPieceThatInstallsSilently)
{
    ASSERT_TRUE(test::toolInstalled("iconv"));
    ASSERT_TRUE(test::toolInstalled("tmux"));
    ASSERT_TRUE(test::toolInstalled("python3"));
    bool installed = false;
    ASSERT_NO_FATAL_FAILURE(followGuide([&](const std::string& chapter) {
        if (chapter != "The life of an installed product")
            return;
        expectEveryPieceInstalled();
        installed = true;
    }));
    EXPECT_TRUE(installed) << "the guide has no chapter on the life of an installed product";
    expectUpdatedRepairedAndWithoutTheSamples();
}

TEST(EndToEndGuideReader, TakesFilesShellBlocksOutputsAndChaptersAndPassesOverTheRest)
{
    test::ScratchDir scratch;
    std::ofstream(scratch.path() / "guide.md") << "Some prose.\n\n`a/b.txt`:\n\n```text\none\ntwo\n```\n\n"
                                                  "`a/b.txt`, continued:\n\n```\nthree\n```\n\n"
                                                  "```console\n$ typed\n```\n\n```text\nshown only\n```\n\n"
                                                  "A line that names `x.txt`: in passing.\n\n```sh\necho hi\n```\n\n"
                                                  "```output\nhi\n```\n\n### A section\n\n## A chapter\n";
    const std::vector<GuideBlock> blocks = readGuide(scratch.path() / "guide.md");
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(blocks[0].kind, GuideBlock::Kind::WriteFile);
    EXPECT_EQ(blocks[0].path, "a/b.txt");
    EXPECT_EQ(blocks[0].text, "one\ntwo\n");
    EXPECT_EQ(blocks[1].kind, GuideBlock::Kind::AppendFile);
    EXPECT_EQ(blocks[1].text, "three\n");
    EXPECT_EQ(blocks[2].kind, GuideBlock::Kind::Console);
    EXPECT_EQ(blocks[3].kind, GuideBlock::Kind::Shell);
    EXPECT_EQ(blocks[3].text, "echo hi\n");
    EXPECT_EQ(blocks[3].line, 26);
    EXPECT_EQ(blocks[4].kind, GuideBlock::Kind::Output);
    EXPECT_EQ(blocks[5].kind, GuideBlock::Kind::Chapter);
    EXPECT_EQ(blocks[5].text, "A chapter");
}

}  // namespace
}  // namespace druvex
