// Backing up and restoring an 8 MB folder of installer-like files (a quarter
// of them incompressible) in tmpfs: our SevenZipWriter beside
// `7zz a -m0=lzma:d=2m -mx5 -mmt1` (the same LZMA settings, one thread), and
// our SevenZipReader, setting each file's modification time as 7zz x does,
// beside `7zz x` on the same archive. Both sides run in alternation.
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

#include "bench_support.h"
#include "host/wince_hal_access.h"
#include "payload/seven_zip_reader.h"
#include "payload/seven_zip_writer.h"
#include "platform/device_config.h"
#include "support/seven_zip_folder_sink.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFolderBytes = 8u * 1000 * 1000;

// A device directory for the whole run, removed at exit.
struct BenchDevice {
    fs::path directory;

    BenchDevice()
    {
        std::string pattern = (druvex::bench::scratchBase() / "druvex-sevenzip-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        directory = pattern;
        fs::create_directories(directory / "fs" / "Data");
        fs::create_directories(directory / "fs" / "Backup");
    }
    ~BenchDevice() { fs::remove_all(directory); }

    fs::path host(const std::string& relative) const { return directory / "fs" / relative; }
};

// Job files and other content in eight folders; names relative to Data/.
std::vector<std::string> generateFolder(const BenchDevice& device)
{
    druvex::bench::ContentMaker maker;
    std::vector<std::string> names = {"settings.xml", "info.xml"};
    std::ofstream(device.host("Data/settings.xml")) << "<settings><units>m</units><angles>gon</angles></settings>\n";
    std::ofstream(device.host("Data/info.xml")) << "<info version=\"1\" program=\"5.1\"/>\n";
    std::size_t total = 0;
    for (int job = 0; total < kFolderBytes; ++job) {
        const std::string folder = "jobs/site" + std::to_string(job % 8);
        fs::create_directories(device.host("Data/" + folder));
        const std::string name = folder + "/job" + std::to_string(job) + (job % 4 == 3 ? ".jpg" : ".job");
        const druvex::bench::Bytes content = maker.file(job, 50000 + maker.random()() % 250000);
        druvex::bench::writeWhole(device.host("Data/" + name), content);
        total += content.size();
        names.push_back(name);
    }
    return names;
}

// Restores as the folder sink does and sets each file's modification time
// afterwards, as 7zz x does.
class TimedFolderSink final : public druvex::SevenZipSink {
public:
    TimedFolderSink(std::shared_ptr<druvex::HalAccess> host, std::u16string target)
        : host_(host), target_(target), inner_(std::move(host), std::move(target))
    {
    }
    int beginFile(const druvex::SharedString& name, std::uint64_t size) override { return inner_.beginFile(name, size); }
    int write(const std::uint8_t* data, std::uint32_t count) override { return inner_.write(data, count); }
    int endFile(const druvex::SevenZipReaderEntry& entry, bool crcMatched) override
    {
        const int result = inner_.endFile(entry, crcMatched);
        if (entry.modificationTime != 0) {
            const std::u16string path = target_ + u"/" + std::u16string(entry.name.view());
            // The benchmark times the extraction; a time not set changes nothing there.
            (void)host_->setFileTimes(druvex::SharedString(std::u16string_view(path)), nullptr, nullptr,
                                      &entry.modificationTime);
        }
        return result;
    }
    void createFolder(const druvex::SharedString& name, const druvex::SevenZipReaderEntry& entry) override
    {
        inner_.createFolder(name, entry);
    }

private:
    std::shared_ptr<druvex::HalAccess> host_;
    std::u16string target_;
    druvex::test::SevenZipFolderSink inner_;
};

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
    TimedFolderSink sink(host, u"\\Restore");
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

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    if (std::system("7zz >/dev/null 2>&1") != 0)
        druvex::bench::fail("7zz is not installed: nothing to compare with");
    BenchDevice device;
    druvex::DeviceConfig config;
    config.deviceDirectory = device.directory.string();
    if (!druvex::activateDevice(config))
        return 1;
    const std::vector<std::string> names = generateFolder(device);
    const auto host = std::make_shared<druvex::HalAccessWinCE>();

    std::vector<double> backupRatios, restoreRatios;
    for (int round = 0; round < options.rounds; ++round) {
        // Alternate which side goes first, so neither always meets a warm cache.
        const bool oursFirst = round % 2 == 0;
        double ours = oursFirst ? backUpOurs(host, names) : 0;
        const double theirs = backUpTheirs(device);
        if (!oursFirst)
            ours = backUpOurs(host, names);
        backupRatios.push_back(ours / theirs);

        double oursRead = oursFirst ? restoreOurs(host, device) : 0;
        const double theirsRead = restoreTheirs(device);
        if (!oursFirst)
            oursRead = restoreOurs(host, device);
        restoreRatios.push_back(oursRead / theirsRead);
        run("diff -r '" + device.host("Restore").string() + "' '" + device.host("Data").string() + "'");
        std::printf("round %d: backup ours %.2f s, 7zz a %.2f s; restore ours %.3f s, 7zz x %.3f s\n", round + 1, ours,
                    theirs, oursRead, theirsRead);
    }
    std::printf("folder: %zu files; archives: ours %ju bytes, 7zz %ju bytes\n", names.size(),
                static_cast<std::uintmax_t>(fs::file_size(device.host("Backup/ours.7z"))),
                static_cast<std::uintmax_t>(fs::file_size(device.host("Backup/theirs.7z"))));
    druvex::bench::report("backup", backupRatios);
    druvex::bench::report("restore", restoreRatios);
    druvex::deactivateDevice();
    return 0;
}
