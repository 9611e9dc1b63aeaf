// The real druvex-setup program decoding its packages on the installation
// thread alone (DRUVEX_DECODE_THREADS=1) and with four decoders ahead of it:
// a silent installation of four features leaves the same device folder (the
// files, the installed log, the registry), writes the same log lines (their
// times left out) and the same status lines, also when the second package
// is damaged or the device is full during the fourth feature.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::kDestination;
using test::ProductFeature;
using test::RunResult;

// Files of many sizes, some larger than a decoder's buffer and some that do
// not compress.
std::map<std::string, std::string> mixedFiles(const std::string& feature, int count)
{
    std::map<std::string, std::string> files;
    std::mt19937 random(static_cast<unsigned>(feature.size() * 7919 + count));
    for (int i = 0; i < count; ++i) {
        const std::size_t size = i % 10 == 0 ? 270000 + random() % 60000 : 50 + random() % 20000;
        std::string text(size, ' ');
        for (char& c : text)
            c = static_cast<char>(i % 4 == 3 ? random() : 'a' + random() % 5);
        files[(i % 2 == 0 ? "" : feature + "/") + feature + "-" + std::to_string(i) + ".dat"] = text;
    }
    return files;
}

// What a run shows: the device folder below fs/ (without the installer's
// folder), the registry, the log's lines without their times, the standard
// output and the status.
struct Seen {
    std::map<std::string, std::string> files;
    std::string registry;
    std::vector<std::string> logLines;
    std::vector<std::string> output;
    int status = -1;
};

class EndToEndDecoding : public test::EndToEndRuns {
protected:
    void TearDown() override
    {
        ::unsetenv("DRUVEX_DECODE_THREADS");
        test::EndToEndRuns::TearDown();
    }

    static std::vector<ProductFeature> features()
    {
        return {{"Core", "1.0", mixedFiles("core", 24), ""},
                {"Maps", "1.0", mixedFiles("maps", 20), ""},
                {"Help", "1.0", mixedFiles("help", 20), ""},
                {"Data", "1.0", mixedFiles("data", 20), ""}};
    }

    // The log's lines from their text on: a line begins with its time and
    // its thread ("T09:57:00.419Z ; 00006c3c ; "), and the first names the
    // time the program started.
    static std::vector<std::string> logLines(const std::string& log)
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < log.size()) {
            std::size_t end = log.find('\n', start);
            if (end == std::string::npos)
                end = log.size();
            std::string line = log.substr(start, end - start);
            start = end + 1;
            for (int field = 0; field < 2; ++field) {
                const std::size_t next = line.find(" ; ");
                if (next != std::string::npos)
                    line.erase(0, next + 3);
            }
            const std::size_t started = line.find(" started on ");
            if (started != std::string::npos)
                line.erase(started);
            lines.push_back(line);
        }
        return lines;
    }

    // Silent installations with one decoder and with four, each on the
    // device as it stood before the first: what both show must be the same.
    Seen installBothWays(const fs::path& setup)
    {
        const test::ScratchDir before;
        fs::copy(device().directory(), before.path(), fs::copy_options::recursive);
        Seen seen[2];
        for (const int decoders : {1, 4}) {
            SCOPED_TRACE(decoders);
            Seen& side = seen[decoders == 1 ? 0 : 1];
            if (decoders == 4) {
                for (const auto& entry : fs::directory_iterator(device().directory()))
                    fs::remove_all(entry.path());
                fs::copy(before.path(), device().directory(), fs::copy_options::recursive);
            }
            ::setenv("DRUVEX_DECODE_THREADS", std::to_string(decoders).c_str(), 1);
            const RunResult result = run(setup, {"silent_mode"});
            side.status = result.status;
            side.files = deviceFiles();
            side.registry = textOf(device().directory() / "registry.reg");
            side.logLines = logLines(result.log);
            side.output = result.lines;
        }
        EXPECT_EQ(seen[1].status, seen[0].status);
        EXPECT_TRUE(seen[1].files == seen[0].files);
        EXPECT_EQ(seen[1].files.size(), seen[0].files.size());
        EXPECT_EQ(seen[1].registry, seen[0].registry);
        EXPECT_EQ(seen[1].logLines, seen[0].logLines);
        EXPECT_EQ(seen[1].output, seen[0].output);
        return seen[0];
    }

    static std::string textOf(const fs::path& path)
    {
        if (!fs::exists(path))
            return {};
        const Bytes bytes = test::readFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

    static bool logHas(const Seen& seen, const std::string& text)
    {
        return std::any_of(seen.logLines.begin(), seen.logLines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};

TEST_F(EndToEndDecoding, ASilentInstallationIsTheSameWithOneDecoderOrFour)
{
    const fs::path setup = placeInstaller("Setup", test::dataXml(features()), features());
    const Seen seen = installBothWays(setup);
    EXPECT_EQ(seen.status, 0);
    expectInstalledFeatures(features());
    EXPECT_FALSE(seen.output.empty());
}

TEST_F(EndToEndDecoding, ADamagedSecondPackageEndsTheSameWay)
{
    // The second package's coded bytes half overwritten, its check word
    // taken over them: the archive is sound, the package is not.
    std::vector<ProductFeature> product = features();
    test::EntrySource damaged =
        test::codedEntry(u"Feature_Maps_1.0_.lzma", kPayloadMethodLzma, packageOf(product[1].files));
    damaged.unpacked = static_cast<std::uint32_t>(fileBytes(product[1].files));
    std::fill_n(damaged.packed.begin() + static_cast<std::ptrdiff_t>(damaged.packed.size() / 2), 8192, 0xFF);
    std::vector<ProductFeature> packed = product;
    packed.erase(packed.begin() + 1);
    const fs::path setup = placeInstaller("Setup", test::dataXml(product), packed, {damaged});

    const Seen seen = installBothWays(setup);
    // Unattended, the installation is rolled back.
    EXPECT_EQ(seen.status, 1);
    EXPECT_TRUE(logHas(seen, "The package of Feature/Maps was not installed"));
    EXPECT_TRUE(logHas(seen, "Rollback done"));
    EXPECT_FALSE(device().exists(kDestination + "/core-0.dat"));
}

TEST_F(EndToEndDecoding, AFullDeviceDuringTheFourthEndsTheSameWay)
{
    // Room for the first three features and a quarter of the fourth: its
    // folder's small files fit, its first large one does not. The log and
    // the work folder take a few kB of it.
    const std::vector<ProductFeature> product = features();
    const fs::path setup = placeInstaller("Setup", test::dataXml(product), product);
    const std::uint64_t free = fileBytes(product[0].files) + fileBytes(product[1].files) +
                               fileBytes(product[2].files) + fileBytes(product[3].files) / 4;
    device().writeDeviceFile("device.ini", test::deviceIniWithFree(free));

    const Seen seen = installBothWays(setup);
    EXPECT_EQ(seen.status, 1);
    EXPECT_TRUE(logHas(seen, "(error 112: the store is full)"));
    EXPECT_TRUE(logHas(seen, "The package of Feature/Data was not installed"));
    EXPECT_TRUE(logHas(seen, "Rollback done"));
    // The fourth had begun; the rollback took back all four.
    EXPECT_TRUE(std::any_of(seen.output.begin(), seen.output.end(),
                            [](const std::string& line) { return line.find("FieldDemo/data/") != std::string::npos; }));
    EXPECT_FALSE(device().exists(kDestination + "/core-0.dat"));
    EXPECT_FALSE(device().exists(kDestination + "/data/data-1.dat"));
}

}  // namespace
}  // namespace druvex
