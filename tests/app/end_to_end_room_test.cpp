// The room the runs on an installed product need, from end to end: the
// second example product, Field Suite, in its full size (about 51 MB on a
// Windows Mobile 6 controller) on a store that states 64 MB free. Its repair
// puts back what is missing and needs no room beyond that; its update to a
// newer version, every feature replaced, needs the new files and the copy of
// the installer that carries them, which is the program without its debug
// information and the archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "field_suite_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;
using test::RunResult;

// The packages a Windows Mobile 6 controller gets.
const std::vector<std::string> kPackages = {"Core",        "Maps",           "Help/English", "Help/French",
                                            "Help/German", "Tools/Converter", "Tools/Radio"};
constexpr std::uint64_t kMegabyte = 1024 * 1024;
// What the program that products carry may take at most.
constexpr std::uint64_t kProgramRoom = 4 * kMegabyte;

class EndToEndRoom : public test::FieldSuiteRuns {
protected:
    void SetUp() override
    {
        FieldSuiteRuns::SetUp();
        ASSERT_NO_FATAL_FAILURE(makeFieldSuite(""));
        // Each package is packed once: a newer version's is the same under another name.
        for (const ProductFeature& feature : packages("1.0")) {
            test::EntrySource entry = test::codedEntry(u"", kPayloadMethodLzma, packageOf(feature.files));
            entry.unpacked = static_cast<std::uint32_t>(fileBytes(feature.files));
            packed_.push_back(std::move(entry));
        }
        const fs::path installer = placeFieldSuite("FieldSuite", data_, "1.0");
        std::uint64_t free = 64 * kMegabyte;
#ifdef DRUVEX_SANITIZED
        // A sanitizer build's program is larger than the one products carry:
        // the store holds what that one takes more.
        const std::uint64_t program = fs::file_size(installer);
        free += program > kProgramRoom ? program - kProgramRoom : 0;
#endif
        device().writeDeviceFile("device.ini", "[Device]\nForceDeviceType=18\nOsVersion=5.2\n\n[Store:\\]\n"
                                               "Total=268435456\nFree=" + std::to_string(free) + "\n");
        const RunResult installed = run(installer, {"silent_mode"});
        expectCompleted(installed);
        expectInstalledFeatures(packages("1.0"));
        setup_ = installer;
    }

    // The installer of Field Suite as \Temp\<folder>\FieldSetup.exe, its
    // packages of that Version.
    fs::path placeFieldSuite(const std::string& folder, const std::string& data, const std::string& version)
    {
        std::vector<test::EntrySource> entries = packed_;
        for (std::size_t index = 0; index < kPackages.size(); ++index)
            entries[index].name = fromUtf8(test::archiveName({kPackages[index], version, {}, ""})).c_str();
        return placeInstaller(folder, data, {}, std::move(entries));
    }

    // The packages with the files the generator made, of that Version.
    std::vector<ProductFeature> packages(const std::string& version) const { return packagesOf(kPackages, version); }

    std::vector<test::EntrySource> packed_;
    fs::path setup_;
};

TEST_F(EndToEndRoom, ARepairNeedsNoMoreRoomThanWhatItPutsBack)
{
    // The program's largest file lost, and with it the feature.
    fs::remove(device().hostPath(layout_.destination + "/FieldSuite.exe"));
    const RunResult repaired = run(setup_, {"silent_mode"});
    expectCompleted(repaired);
    EXPECT_NE(repaired.log.find("runs wizard mode 9"), std::string::npos) << repaired.log;
    expectInstalledFeatures(packages("1.0"));
    EXPECT_FALSE(device().exists(layout_.dataFolder + "/setup.exe"));
}

TEST_F(EndToEndRoom, AnUpdateReplacingEveryFeatureFitsWithTheInstallersCopy)
{
    std::string newer = data_;
    for (std::size_t at = 0; (at = newer.find("Version=\"1.0\"", at)) != std::string::npos;)
        newer.replace(at, 13, "Version=\"1.1\"");
    const std::string version = "\"ProgramVersion\" Value=\"1.0\"";
    newer.replace(newer.find(version), version.size(), "\"ProgramVersion\" Value=\"1.1\"");
    const fs::path setup = placeFieldSuite("FieldSuite-1.1", newer, "1.1");

    const RunResult updated = run(setup, {"silent_mode"});
    expectCompleted(updated);
    EXPECT_NE(updated.log.find("runs wizard mode 6"), std::string::npos) << updated.log;
    expectInstalledFeatures(packages("1.1"));
    // The copy the update left is its installer.
    EXPECT_EQ(fs::file_size(device().hostPath(layout_.dataFolder + "/setup.exe")), fs::file_size(setup));
    EXPECT_EQ(fs::file_size(device().hostPath(layout_.dataFolder + "/setup.dqres")),
              fs::file_size(setup.parent_path() / "setup.dqres"));
}

}  // namespace
}  // namespace druvex
