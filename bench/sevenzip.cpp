// Backing up and restoring a 20 MB folder of job files: our SevenZipWriter
// beside `7zz a -m0=lzma:d=2m -mx5 -mmt1` (the same LZMA settings, one
// thread), and our SevenZipReader beside `7zz x` on the same archive. Both
// sides run in alternation in the same process run, so the ratios printed
// compare them under the same load. The folder is generated at start.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/wince_hal_access.h"
#include "payload/seven_zip_reader.h"
#include "payload/seven_zip_writer.h"
#include "platform/device_config.h"
#include "support/seven_zip_folder_sink.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFolderBytes = 20u * 1000 * 1000;
constexpr int kRounds = 3;

// A device directory for the whole run, removed at exit.
struct BenchDevice {
    fs::path directory;

    BenchDevice()
    {
        std::string pattern = (fs::temp_directory_path() / "druvex-sevenzip-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        directory = pattern;
        fs::create_directories(directory / "fs" / "Data");
        fs::create_directories(directory / "fs" / "Backup");
    }
    ~BenchDevice() { fs::remove_all(directory); }

    fs::path host(const std::string& relative) const { return directory / "fs" / relative; }
};

// Deterministic pseudo-random numbers (xorshift64).
struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    std::uint64_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

// Survey job files (text lines of a random walk, which compress about as
// real jobs do) and a few photo-like blobs that hardly compress; names
// relative to Data/.
std::vector<std::string> generateFolder(const BenchDevice& device)
{
    Random random;
    std::vector<std::string> names = {"settings.xml", "info.xml"};
    std::ofstream(device.host("Data/settings.xml")) << "<settings><units>m</units><angles>gon</angles></settings>\n";
    std::ofstream(device.host("Data/info.xml")) << "<info version=\"1\" program=\"5.1\"/>\n";
    std::size_t total = 0;
    double east = 500000.0, north = 5400000.0, height = 420.0;
    for (int job = 0; total < kFolderBytes; ++job) {
        const std::string folder = "jobs/site" + std::to_string(job % 8);
        fs::create_directories(device.host("Data/" + folder));
        const bool blob = job % 10 == 9;
        const std::string name = folder + (blob ? "/photo" : "/job") + std::to_string(job) + (blob ? ".jpg" : ".job");
        std::string content;
        if (blob) {
            while (content.size() < 400000)
                content.push_back(static_cast<char>(random.next() >> 56));
        } else {
            char line[128];
            for (int point = 0; content.size() < 150000; ++point) {
                east += static_cast<double>(random.next() % 2001) / 1000.0 - 1.0;
                north += static_cast<double>(random.next() % 2001) / 1000.0 - 1.0;
                height += static_cast<double>(random.next() % 201) / 1000.0 - 0.1;
                std::snprintf(line, sizeof line, "PT%06d,%.3f,%.3f,%.3f,CODE%02d,%s\n", point, east, north, height,
                              static_cast<int>(random.next() % 40), random.next() % 5 == 0 ? "CHECK" : "");
                content += line;
            }
        }
        std::ofstream(device.host("Data/" + name), std::ios::binary) << content;
        total += content.size();
        names.push_back(name);
    }
    return names;
}

std::u16string u16(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

druvex::SharedString devicePath(const std::string& relative)
{
    std::u16string path = u"\\" + u16(relative);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return druvex::SharedString(std::u16string_view(path));
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

double backUpOurs(const std::shared_ptr<druvex::HalAccess>& host, const std::vector<std::string>& names)
{
    const auto start = Clock::now();
    druvex::SevenZipWriter writer;
    bool written = writer.open(host, devicePath("Backup/ours.7z"));
    for (const std::string& name : names) {
        const druvex::SharedString archiveName{std::u16string_view(u16(name))};
        written = written && writer.addPath(devicePath("Data/" + name), archiveName);
    }
    written = writer.close(nullptr) && written;
    if (!written)
        std::exit(1);
    return secondsSince(start);
}

double backUpTheirs(const BenchDevice& device)
{
    fs::remove(device.host("Backup/theirs.7z"));
    const auto start = Clock::now();
    run("cd '" + device.host("Data").string() + "' && 7zz a -bd -m0=lzma:d=2m -mx5 -mmt1 '" +
        device.host("Backup/theirs.7z").string() + "' . >/dev/null");
    return secondsSince(start);
}

double restoreOurs(const std::shared_ptr<druvex::HalAccess>& host, const BenchDevice& device)
{
    fs::remove_all(device.host("Restore"));
    fs::create_directories(device.host("Restore"));
    const auto start = Clock::now();
    druvex::SevenZipReader reader;
    druvex::test::SevenZipFolderSink sink(host, u"\\Restore");
    if (!reader.open(host, devicePath("Backup/ours.7z")) || !reader.extract(sink))
        std::exit(1);
    return secondsSince(start);
}

double restoreTheirs(const BenchDevice& device)
{
    fs::remove_all(device.host("Restore7zz"));
    const auto start = Clock::now();
    run("7zz x -bd -y -o'" + device.host("Restore7zz").string() + "' '" + device.host("Backup/ours.7z").string() +
        "' >/dev/null");
    return secondsSince(start);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    if (std::system("7zz >/dev/null 2>&1") != 0) {
        std::printf("7zz is not installed: nothing to compare with\n");
        return 0;
    }
    BenchDevice device;
    druvex::DeviceConfig config;
    config.deviceDirectory = device.directory.string();
    if (!druvex::activateDevice(config))
        return 1;
    const std::vector<std::string> names = generateFolder(device);
    const auto host = std::make_shared<druvex::HalAccessWinCE>();

    std::vector<double> oursBackup, theirsBackup, oursRestore, theirsRestore, backupRatios, restoreRatios;
    for (int round = 0; round < kRounds; ++round) {
        // Alternate which side goes first, so neither always meets a warm cache.
        const bool oursFirst = round % 2 == 0;
        double ours = oursFirst ? backUpOurs(host, names) : 0;
        const double theirs = backUpTheirs(device);
        if (!oursFirst)
            ours = backUpOurs(host, names);
        oursBackup.push_back(ours);
        theirsBackup.push_back(theirs);
        backupRatios.push_back(ours / theirs);

        double oursRead = oursFirst ? restoreOurs(host, device) : 0;
        const double theirsRead = restoreTheirs(device);
        if (!oursFirst)
            oursRead = restoreOurs(host, device);
        oursRestore.push_back(oursRead);
        theirsRestore.push_back(theirsRead);
        restoreRatios.push_back(oursRead / theirsRead);
        run("diff -r '" + device.host("Restore").string() + "' '" + device.host("Data").string() + "'");
    }

    const double megabytes = static_cast<double>(kFolderBytes) / 1e6;
    std::printf("folder: %zu files, %.1f MB; archives: ours %ju bytes, 7zz %ju bytes\n", names.size(), megabytes,
                static_cast<std::uintmax_t>(fs::file_size(device.host("Backup/ours.7z"))),
                static_cast<std::uintmax_t>(fs::file_size(device.host("Backup/theirs.7z"))));
    std::printf("backup  (median of %d): ours %.2f s, 7zz a %.2f s, ratio %.2f (goal: at most 1.3)\n", kRounds,
                median(oursBackup), median(theirsBackup), median(backupRatios));
    std::printf("restore (median of %d): ours %.3f s, 7zz x %.3f s, ratio %.2f (goal: at most 1.3)\n", kRounds,
                median(oursRestore), median(theirsRestore), median(restoreRatios));
    druvex::deactivateDevice();
    return 0;
}
