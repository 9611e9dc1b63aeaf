// payload_tool: the installer archive from the command line, over the same
// reader and writer the installer uses.
//
//   payload_tool create ARCHIVE [--append] [--jobs=N] ENTRY...
//       ENTRY is [stored:|lzma:|zlib:]NAME=FILE (the tool codes the file),
//       raw:METHOD:UNPACKED:NAME=FILE (the file's bytes as they are, under that
//       method number and unpacked size), or package:NAME=[TOP:]FOLDER (the
//       folder's tree as a feature package below the top-level folder TOP, a
//       variable that names a folder on the device such as WINDOWS, with or
//       without its angle brackets; "<TARGETDIR>" without TOP). The package
//       arguments of one NAME make one package with a top-level folder each,
//       in the order given. A package is LZMA-coded, its unpacked size the sum
//       of its files' sizes. --append writes the archive after the existing
//       content of ARCHIVE (a program file). A failure leaves ARCHIVE as it
//       was (an appended archive is cut off again). The entries are coded N at a time
//       (by default as many as the cores and the memory allow); the archive
//       holds the same bytes whatever N is.
//   payload_tool list ARCHIVE
//   payload_tool verify ARCHIVE [NAME...]
//   payload_tool extract ARCHIVE NAME OUTPUT      (OUTPUT "-": standard output)
//
// The installer data (the entry "Data") is read as the installer reads it when
// create packs it and when verify checks it: each element of a name it does
// not know, and a document it refuses, gives a line on standard error, as
// they give one in the installer's log, so that a misspelling is found before
// the installer ships; the exit status stays as it was. Installer data (also
// a merged project's "MergeProjectData_NAME") that names no ProgramUuid is
// refused by create, as the installer would refuse it.
//
// Paths are host paths (no device is active). Exit status 0 on success, 1 on
// a failure, 2 for a wrong command line.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "text/shared_string.h"
#include "text/terminal_text.h"
#include "host/wince_hal_access.h"
#include "package_writer/package_writer.h"
#include "payload_tool/parallel_coding.h"
#include "payload/entry_encoder.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"

namespace {

using druvex::SharedString;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFailure = 1;
constexpr int kUsage = 2;
// The entry of the installer data.
constexpr char kDataEntry[] = "Data";

int usage()
{
    std::fputs("usage: payload_tool create ARCHIVE [--append] [--jobs=N] [stored:|lzma:|zlib:]NAME=FILE...\n"
               "                    raw:METHOD:UNPACKED:NAME=FILE package:NAME=[TOP:]FOLDER\n"
               "       payload_tool list ARCHIVE\n"
               "       payload_tool verify ARCHIVE [NAME...]\n"
               "       payload_tool extract ARCHIVE NAME OUTPUT\n",
               stderr);
    return kUsage;
}

int fail(const std::string& message)
{
    // A reason may quote a name from an archive or a package.
    std::fprintf(stderr, "payload_tool: %s\n", druvex::terminalText(message).c_str());
    return kFailure;
}

SharedString devicePath(const std::string& hostPath)
{
    return druvex::fromUtf8(std::filesystem::absolute(hostPath).string());
}

std::string utf8(const SharedString& text)
{
    const druvex::SharedStringA bytes = druvex::toUtf8(text);
    return std::string(bytes.c_str(), static_cast<std::size_t>(bytes.length()));
}

// What the installer's log would say of the installer data in `bytes`, each
// line on standard error after "payload_tool: " and `where`.
void reportInstallData(const std::string& where, const Bytes& bytes)
{
    druvex::InstallData data;
    druvex::InstallDataRefusal refusal;
    std::vector<SharedString> unknownElements;
    const bool read = druvex::readInstallDataXml(data, bytes.data(), bytes.size(), nullptr, &refusal, &unknownElements);
    std::vector<SharedString> lines = unknownElements;
    if (!read)
        lines.push_back(u"The installer data does not parse: " + druvex::describeInstallDataRefusal(refusal));
    for (const SharedString& line : lines)
        std::fprintf(stderr, "payload_tool: %s: %s\n", druvex::terminalText(where).c_str(),
                     druvex::terminalText(utf8(line)).c_str());
}

bool readHostFile(const std::string& path, Bytes& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A folder packed under one top-level folder of a package: "<TARGETDIR>",
// "<WINDOWS>" or any other variable that names a folder on the device.
struct PackageFolder {
    std::string top;
    std::string folder;
};

struct EntryArgument {
    std::string name;
    std::string file;
    std::string coding = "stored";       // stored, lzma, zlib, raw or package
    std::uint32_t method = 0;            // raw only
    std::uint32_t unpacked = 0;          // raw only
    std::vector<PackageFolder> folders;  // package only
};

bool isVariableNameChar(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_';
}

// A package folder with the top-level folder it goes under: "NAME:FOLDER" or
// "<NAME>:FOLDER" names it, a plain folder goes under "<TARGETDIR>".
PackageFolder packageFolder(const std::string& text)
{
    const PackageFolder plain{"<TARGETDIR>", text};
    const bool bracketed = text.starts_with('<');
    std::size_t end = bracketed ? 1 : 0;
    while (end < text.size() && isVariableNameChar(text[end]))
        ++end;
    const std::string name = text.substr(bracketed ? 1 : 0, end - (bracketed ? 1 : 0));
    if (bracketed) {
        if (end == text.size() || text[end] != '>')
            return plain;
        ++end;
    }
    if (name.empty() || end == text.size() || text[end] != ':')
        return plain;
    return PackageFolder{"<" + name + ">", text.substr(end + 1)};
}

bool sameTopFolder(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

bool parseEntry(std::string text, EntryArgument& entry)
{
    for (const char* coding : {"stored:", "lzma:", "zlib:", "raw:", "package:"}) {
        const std::string prefix(coding);
        if (text.rfind(prefix, 0) != 0)
            continue;
        entry.coding = prefix.substr(0, prefix.size() - 1);
        text.erase(0, prefix.size());
        break;
    }
    if (entry.coding == "raw") {
        const std::size_t first = text.find(':');
        const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
        if (second == std::string::npos)
            return false;
        try {
            entry.method = static_cast<std::uint32_t>(std::stoul(text.substr(0, first)));
            entry.unpacked = static_cast<std::uint32_t>(std::stoul(text.substr(first + 1, second - first - 1)));
        } catch (const std::exception&) {
            return false;
        }
        text.erase(0, second + 1);
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size())
        return false;
    entry.name = text.substr(0, equals);
    entry.file = text.substr(equals + 1);
    if (entry.coding == "package") {
        entry.folders.push_back(packageFolder(entry.file));
        if (entry.folders.back().folder.empty())
            return false;
    }
    return true;
}

// The command line's entries in order; the package arguments of one name
// make one package, their top-level folders in the order given. False with
// the reason for a wrong command line.
bool parseEntries(const std::vector<std::string>& arguments, std::vector<EntryArgument>& entries, bool& append,
                  unsigned& threads, std::string& reason)
{
    for (const std::string& argument : arguments) {
        if (argument == "--append") {
            append = true;
            continue;
        }
        if (argument.rfind("--jobs=", 0) == 0) {
            const std::string count = argument.substr(7);
            if (count.empty() || count.size() > 4 || count.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(count) == 0) {
                reason = "--jobs takes a number of 1 or more";
                return false;
            }
            threads = static_cast<unsigned>(std::stoul(count));
            continue;
        }
        EntryArgument entry;
        if (!parseEntry(argument, entry)) {
            reason = "cannot read the entry " + argument;
            return false;
        }
        const auto earlier = std::find_if(entries.begin(), entries.end(), [&](const EntryArgument& other) {
            return entry.coding == "package" && other.coding == "package" && other.name == entry.name;
        });
        if (earlier == entries.end()) {
            entries.push_back(entry);
            continue;
        }
        const PackageFolder& added = entry.folders.front();
        for (const PackageFolder& folder : earlier->folders) {
            if (sameTopFolder(folder.top, added.top)) {
                reason = "the package " + entry.name + " is given the top folder " + added.top + " twice";
                return false;
            }
        }
        earlier->folders.push_back(added);
    }
    return true;
}

// An entry ready to be coded: its directory record's figures, and the job
// that writes its packed bytes.
struct PreparedEntry {
    SharedString name;
    std::uint32_t method = 0;
    std::uint32_t unpacked = 0;
    druvex::tools::CodingJob code;
};

bool fileSize(const std::string& path, std::uint64_t& size, std::string& reason)
{
    std::error_code error;
    size = std::filesystem::file_size(path, error);
    if (!error && size <= 0xFFFFFFFFu)
        return true;
    reason = error ? "cannot read " + path : path + " holds 4 GiB or more";
    return false;
}

// The folders' trees as one feature package, LZMA-coded while it is read.
bool preparePackage(const EntryArgument& entry, std::vector<std::unique_ptr<druvex::tools::PackageWriter>>& packages,
                    PreparedEntry& prepared, std::string& reason)
{
    auto package = std::make_unique<druvex::tools::PackageWriter>();
    std::string folders;
    for (const PackageFolder& folder : entry.folders) {
        if (!druvex::tools::addFolderTree(*package, folder.folder, std::u16string(druvex::fromUtf8(folder.top).view()),
                                          reason))
            return false;
        folders += (folders.empty() ? "" : ", ") + folder.folder;
    }
    if (package->fileBytes() > 0xFFFFFFFFu) {
        reason = "the files of " + folders + " hold 4 GiB or more";
        return false;
    }
    prepared.method = druvex::kPayloadMethodLzma;
    prepared.unpacked = static_cast<std::uint32_t>(package->fileBytes());
    const druvex::tools::PackageWriter& tree = *package;
    packages.push_back(std::move(package));
    prepared.code = [&tree, folders](const druvex::EntryWriteFunction& write, std::string& failure) {
        druvex::tools::PackageStreamReader reader(tree);
        bool unread = false;
        const bool coded = druvex::encodeLzmaEntry(
            reader.size(),
            [&](std::uint8_t* buffer, std::size_t count) {
                const std::int64_t got = reader.read(buffer, count);
                unread = got < 0;
                return got;
            },
            write);
        if (!coded)
            failure = unread ? "cannot read the files of " + folders : "cannot code the files of " + folders;
        return coded;
    };
    return true;
}

// A file, LZMA-coded while it is read.
bool prepareLzmaFile(const EntryArgument& entry, PreparedEntry& prepared, std::string& reason)
{
    std::uint64_t size = 0;
    if (!fileSize(entry.file, size, reason))
        return false;
    prepared.method = druvex::kPayloadMethodLzma;
    prepared.unpacked = static_cast<std::uint32_t>(size);
    prepared.code = [path = entry.file, size](const druvex::EntryWriteFunction& write, std::string& failure) {
        std::ifstream in(path, std::ios::binary);
        const bool coded = in && druvex::encodeLzmaEntry(
                                     size,
                                     [&](std::uint8_t* buffer, std::size_t count) -> std::int64_t {
                                         in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
                                         return in.bad() ? -1 : in.gcount();
                                     },
                                     write);
        if (!coded)
            failure = "cannot code " + path;
        return coded;
    };
    return true;
}

// A file stored as it is, zlib-coded, or taken as already coded (raw).
bool prepareWholeFile(const EntryArgument& entry, PreparedEntry& prepared, std::string& reason)
{
    std::uint64_t size = 0;
    if (!fileSize(entry.file, size, reason))
        return false;
    prepared.method = entry.coding == "zlib"  ? druvex::kPayloadMethodZlib
                      : entry.coding == "raw" ? entry.method
                                              : druvex::kPayloadMethodStored;
    prepared.unpacked = entry.coding == "raw" ? entry.unpacked : static_cast<std::uint32_t>(size);
    prepared.code = [path = entry.file, zlib = entry.coding == "zlib"](const druvex::EntryWriteFunction& write,
                                                                       std::string& failure) {
        Bytes data;
        if (!readHostFile(path, data)) {
            failure = "cannot read " + path;
            return false;
        }
        Bytes coded;
        if (zlib && !druvex::encodeZlibEntry(data, coded)) {
            failure = "cannot code " + path;
            return false;
        }
        const Bytes& bytes = zlib ? coded : data;
        return write(bytes.data(), bytes.size());
    };
    return true;
}

bool isInstallerDataEntry(const std::string& name)
{
    const std::string mergedProject = "MergeProjectData_";
    return name == "Data" || (name.size() > mergedProject.size() && name.starts_with(mergedProject));
}

// The installer loads installer data only with a ProgramUuid, which names
// the product's data folder: an archive without one would install nothing,
// or, installed by an older installer, share its folder and installed log
// with every other such product.
bool checkInstallerData(const EntryArgument& entry, std::string& reason)
{
    if (entry.coding == "raw" || entry.coding == "package" || !isInstallerDataEntry(entry.name))
        return true;
    Bytes bytes;
    if (!readHostFile(entry.file, bytes)) {
        reason = "cannot read " + entry.file;
        return false;
    }
    druvex::InstallData data;
    if (!druvex::readInstallDataXml(data, bytes.data(), bytes.size()))
        return true;
    if (!data.settings().namesProgramUuid()) {
        reason = "the installer data " + entry.file + " of " + entry.name + " names no ProgramUuid";
        return false;
    }
    return true;
}

bool prepareEntry(const EntryArgument& entry, std::vector<std::unique_ptr<druvex::tools::PackageWriter>>& packages,
                  PreparedEntry& prepared, std::string& reason)
{
    if (!checkInstallerData(entry, reason))
        return false;
    prepared.name = druvex::fromUtf8(entry.name);
    if (entry.coding == "package")
        return preparePackage(entry, packages, prepared, reason);
    if (entry.coding == "lzma")
        return prepareLzmaFile(entry, prepared, reason);
    return prepareWholeFile(entry, prepared, reason);
}

std::string addFailure(const PreparedEntry& entry, const std::string& reason, int error)
{
    return "cannot add " + utf8(entry.name) + (reason.empty() ? "" : ": " + reason) + " (error " +
           std::to_string(error) + ")";
}

// Codes each entry straight into the archive, one after another.
int writeInTurn(druvex::PayloadArchiveWriter& writer, const std::vector<PreparedEntry>& entries)
{
    for (const PreparedEntry& entry : entries) {
        std::string reason;
        int error = 0;
        const bool added = writer.addEntryFrom(
            entry.name, entry.method, entry.unpacked,
            [&](druvex::PackageOutputStream& out) {
                return entry.code(
                    [&](const std::uint8_t* bytes, std::size_t count) {
                        // The coders write in pieces far below 4 GiB.
                        return out.write(static_cast<std::uint32_t>(count), bytes);
                    },
                    reason);
            },
            error);
        if (!added)
            return fail(addFailure(entry, reason, error));
    }
    return 0;
}

// Codes the entries on several threads and writes them in their order.
int writeInParallel(druvex::PayloadArchiveWriter& writer, const std::vector<PreparedEntry>& entries,
                    unsigned threads, const std::string& archive)
{
    std::vector<druvex::tools::CodingJob> jobs;
    for (const PreparedEntry& entry : entries)
        jobs.push_back(entry.code);
    std::filesystem::path folder = std::filesystem::absolute(archive).parent_path();
    std::string failure;
    const bool written = druvex::tools::codeInParallel(
        jobs, threads, folder,
        [&](std::size_t index, std::uint64_t, const druvex::EntryReadFunction& read) {
            const PreparedEntry& entry = entries[index];
            std::vector<std::uint8_t> buffer(1 << 16);
            int error = 0;
            const bool added = writer.addEntryFrom(
                entry.name, entry.method, entry.unpacked,
                [&](druvex::PackageOutputStream& out) {
                    for (;;) {
                        const std::int64_t got = read(buffer.data(), buffer.size());
                        if (got <= 0)
                            return got == 0;
                        if (!out.write(static_cast<std::uint32_t>(got), buffer.data()))
                            return false;
                    }
                },
                error);
            if (!added)
                failure = addFailure(entry, "", error);
            return added;
        },
        failure);
    return written ? 0 : fail(failure);
}

// Writes the entries, the directory and the trailer after what `file`
// holds; `archive` names it in the messages.
int writeArchive(const std::shared_ptr<druvex::HalAccess>& host, const std::string& file, const std::string& archive,
                 const std::vector<PreparedEntry>& entries, unsigned threads)
{
    auto output = std::make_shared<druvex::HalFileOutputStream>();
    if (!output->openForAppend(host, devicePath(file)))
        return fail("cannot open " + archive + " for appending");
    druvex::PayloadArchiveWriter writer(output, output->payloadBase());
    const int status =
        threads == 1 ? writeInTurn(writer, entries) : writeInParallel(writer, entries, threads, archive);
    if (status != 0)
        return status;
    int error = 0;
    if (!writer.finish(error))
        return fail("cannot finish " + archive + " (error " + std::to_string(error) + ")");
    return 0;
}

// "NAME" beside the archive, for its new content until that is whole.
std::string scratchPath(const std::string& archive)
{
    const std::filesystem::path path = std::filesystem::absolute(archive);
    return (path.parent_path() / (".payload_tool-" + std::to_string(::getpid()) + "-" + path.filename().string()))
        .string();
}

// The archive after the program's bytes; a failure cuts the file back to
// the program alone.
int appendArchive(const std::shared_ptr<druvex::HalAccess>& host, const std::string& program,
                  const std::vector<PreparedEntry>& entries, unsigned threads)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(program, error);
    if (error)
        return fail("cannot open " + program + " for appending");
    const int status = writeArchive(host, program, program, entries, threads);
    if (status == 0)
        return 0;
    std::filesystem::resize_file(program, size, error);
    if (error)
        return fail("cannot cut " + program + " back to its " + std::to_string(size) + " bytes: " + error.message());
    return status;
}

int create(const std::shared_ptr<druvex::HalAccess>& host, const std::string& archive,
           const std::vector<std::string>& arguments)
{
    bool append = false;
    unsigned threads = 0;
    std::vector<EntryArgument> parsed;
    std::string reason;
    if (!parseEntries(arguments, parsed, append, threads, reason)) {
        std::fprintf(stderr, "payload_tool: %s\n", druvex::terminalText(reason).c_str());
        return usage();
    }
    for (const EntryArgument& entry : parsed) {
        Bytes data;
        if (entry.name == kDataEntry && entry.coding != "raw" && entry.coding != "package" &&
            readHostFile(entry.file, data))
            reportInstallData(entry.name + " (" + entry.file + ")", data);
    }
    std::vector<std::unique_ptr<druvex::tools::PackageWriter>> packages;
    std::vector<PreparedEntry> entries(parsed.size());
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        if (!prepareEntry(parsed[i], packages, entries[i], reason))
            return fail(reason);
    }
    if (threads == 0)
        threads = druvex::tools::defaultCodingThreads();
    if (append)
        return appendArchive(host, archive, entries, threads);
    // A new archive is written beside the old one and takes its place only
    // when whole: a failure leaves the old file as it was.
    const std::string scratch = scratchPath(archive);
    {
        std::ofstream created(scratch, std::ios::binary | std::ios::trunc);
        if (!created)
            return fail("cannot create " + scratch);
    }
    const int status = writeArchive(host, scratch, archive, entries, threads);
    std::error_code error;
    if (status == 0)
        std::filesystem::rename(scratch, archive, error);
    if (status != 0 || error) {
        std::filesystem::remove(scratch);
        return status != 0 ? status : fail("cannot put the archive in place of " + archive + ": " + error.message());
    }
    return 0;
}

bool openArchive(druvex::PayloadArchive& archive, const std::string& path)
{
    int error = 0;
    if (archive.open(devicePath(path), error))
        return true;
    std::fprintf(stderr, "payload_tool: cannot open %s (error %d)\n", druvex::terminalText(path).c_str(), error);
    return false;
}

int list(druvex::PayloadArchive& archive)
{
    for (std::uint32_t i = 0; i < archive.entryCount(); ++i) {
        const druvex::PayloadEntry& entry = archive.entryAt(static_cast<std::int32_t>(i));
        std::printf("%u\t%s\t%u\t%llu\t%llu\t%llu\t%08X\n", i, utf8(entry.name).c_str(), entry.method,
                    static_cast<unsigned long long>(entry.offset), static_cast<unsigned long long>(entry.packedSize),
                    static_cast<unsigned long long>(entry.unpackedSize), entry.checksum);
    }
    return 0;
}

int verify(druvex::PayloadArchive& archive, std::vector<std::string> names)
{
    if (names.empty())
        for (std::uint32_t i = 0; i < archive.entryCount(); ++i)
            names.push_back(utf8(archive.entryAt(static_cast<std::int32_t>(i)).name));
    int status = 0;
    for (const std::string& name : names) {
        int error = 0;
        if (archive.verifyEntry(druvex::fromUtf8(name), error)) {
            std::printf("OK\t%s\n", name.c_str());
            Bytes data;
            if (name == kDataEntry && archive.extractTo(druvex::fromUtf8(name), data))
                reportInstallData(name, data);
            continue;
        }
        std::printf("FAILED\t%s\t%d\n", name.c_str(), error);
        status = kFailure;
    }
    return status;
}

// Writes the decoded bytes to a host file.
class FileSink final : public druvex::PayloadSink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    void begin(std::uint32_t, std::uint32_t) override {}
    bool write(std::uint32_t size, const std::uint8_t* bytes) override
    {
        return size == 0 || std::fwrite(bytes, 1, size, file_) == size;
    }
    bool finish() override { return std::fflush(file_) == 0; }

private:
    std::FILE* file_;
};

int extract(druvex::PayloadArchive& archive, const std::string& name, const std::string& output)
{
    const bool toStdout = output == "-";
    std::FILE* file = toStdout ? stdout : std::fopen(output.c_str(), "wb");
    if (!file)
        return fail("cannot create " + output);
    FileSink sink(file);
    const bool extracted = archive.extract(druvex::fromUtf8(name), sink);
    const bool closed = toStdout || std::fclose(file) == 0;
    if (!extracted || !closed)
        return fail("cannot extract " + name);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const std::string command = argv[1];
    const std::string path = argv[2];
    const std::vector<std::string> rest(argv + 3, argv + argc);
    auto host = std::make_shared<druvex::HalAccessWinCE>();
    if (command == "create")
        return create(host, path, rest);
    druvex::PayloadArchive archive(*host);
    if (command == "list" && rest.empty())
        return openArchive(archive, path) ? list(archive) : kFailure;
    if (command == "verify")
        return openArchive(archive, path) ? verify(archive, rest) : kFailure;
    if (command == "extract" && rest.size() == 2)
        return openArchive(archive, path) ? extract(archive, rest[0], rest[1]) : kFailure;
    return usage();
}
