// payload_tool: the installer archive from the command line, over the same
// reader and writer the installer uses.
//
//   payload_tool create ARCHIVE [--append] ENTRY...
//       ENTRY is [stored:|lzma:|zlib:]NAME=FILE (the tool codes the file),
//       raw:METHOD:UNPACKED:NAME=FILE (the file's bytes as they are, under that
//       method number and unpacked size), or package:NAME=FOLDER (the folder's
//       tree as a feature package below "<TARGETDIR>", LZMA-coded, its unpacked
//       size the sum of its files' sizes). --append writes the archive after
//       the existing content of ARCHIVE (a program file).
//   payload_tool list ARCHIVE
//   payload_tool verify ARCHIVE [NAME...]
//   payload_tool extract ARCHIVE NAME OUTPUT      (OUTPUT "-": standard output)
//
// Paths are host paths (no device is active). Exit status 0 on success, 1 on
// a failure, 2 for a wrong command line.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "text/shared_string.h"
#include "host/wince_hal_access.h"
#include "package_writer/package_writer.h"
#include "payload/entry_encoder.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"

namespace {

using druvex::SharedString;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int usage()
{
    std::fputs("usage: payload_tool create ARCHIVE [--append] [stored:|lzma:|zlib:]NAME=FILE...\n"
               "                    raw:METHOD:UNPACKED:NAME=FILE package:NAME=FOLDER\n"
               "       payload_tool list ARCHIVE\n"
               "       payload_tool verify ARCHIVE [NAME...]\n"
               "       payload_tool extract ARCHIVE NAME OUTPUT\n",
               stderr);
    return kUsage;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "payload_tool: %s\n", message.c_str());
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

bool readHostFile(const std::string& path, Bytes& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

struct EntryArgument {
    std::string name;
    std::string file;
    std::string coding = "stored";  // stored, lzma, zlib, raw or package
    std::uint32_t method = 0;       // raw only
    std::uint32_t unpacked = 0;     // raw only
};

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
    return true;
}

bool codeEntry(const EntryArgument& entry, const Bytes& data, Bytes& packed, std::uint32_t& method,
               std::uint32_t& unpacked)
{
    unpacked = static_cast<std::uint32_t>(data.size());
    if (entry.coding == "zlib") {
        method = druvex::kPayloadMethodZlib;
        return druvex::encodeZlibEntry(data, packed);
    }
    if (entry.coding == "raw") {
        method = entry.method;
        unpacked = entry.unpacked;
    } else {
        method = druvex::kPayloadMethodStored;
    }
    packed = data;
    return true;
}

// Codes `size` bytes from `read` as an LZMA entry straight into the archive:
// neither the input nor the coded bytes are ever held whole.
bool addLzmaEntry(druvex::PayloadArchiveWriter& writer, const std::string& name, std::uint32_t unpacked,
                  std::uint64_t size, const druvex::EntryReadFunction& read, int& error)
{
    return writer.addEntryFrom(druvex::fromUtf8(name), druvex::kPayloadMethodLzma, unpacked,
                               [&](druvex::PackageOutputStream& out) {
                                   return druvex::encodeLzmaEntry(size, read, [&](const std::uint8_t* bytes,
                                                                                  std::size_t count) {
                                       // The encoder writes in pieces far below 4 GiB.
                                       return out.write(static_cast<std::uint32_t>(count), bytes);
                                   });
                               },
                               error);
}

// The folder's tree as a feature package, coded while it is read.
int addPackage(druvex::PayloadArchiveWriter& writer, const EntryArgument& entry)
{
    druvex::tools::PackageWriter package;
    std::string reason;
    if (!druvex::tools::addFolderTree(package, entry.file, u"<TARGETDIR>", reason))
        return fail(reason);
    if (package.fileBytes() > 0xFFFFFFFFu)
        return fail("the files of " + entry.file + " hold 4 GiB or more");
    druvex::tools::PackageStreamReader reader(package);
    int error = 0;
    if (!addLzmaEntry(writer, entry.name, static_cast<std::uint32_t>(package.fileBytes()), reader.size(),
                      [&](std::uint8_t* buffer, std::size_t count) { return reader.read(buffer, count); }, error))
        return fail("cannot add " + entry.name + " from the files of " + entry.file + " (error " +
                    std::to_string(error) + ")");
    return 0;
}

// A file coded as an LZMA entry while it is read.
int addLzmaFile(druvex::PayloadArchiveWriter& writer, const EntryArgument& entry)
{
    std::ifstream in(entry.file, std::ios::binary);
    std::error_code sizeError;
    const std::uint64_t size = std::filesystem::file_size(entry.file, sizeError);
    if (!in || sizeError)
        return fail("cannot read " + entry.file);
    if (size > 0xFFFFFFFFu)
        return fail(entry.file + " holds 4 GiB or more");
    int error = 0;
    const bool added = addLzmaEntry(writer, entry.name, static_cast<std::uint32_t>(size), size,
                                    [&](std::uint8_t* buffer, std::size_t count) -> std::int64_t {
                                        in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
                                        return in.bad() ? -1 : in.gcount();
                                    },
                                    error);
    if (!added)
        return fail("cannot add " + entry.name + " (error " + std::to_string(error) + ")");
    return 0;
}

int create(const std::shared_ptr<druvex::HalAccess>& host, const std::string& archive,
           const std::vector<std::string>& arguments)
{
    bool append = false;
    std::vector<EntryArgument> entries;
    for (const std::string& argument : arguments) {
        if (argument == "--append") {
            append = true;
            continue;
        }
        EntryArgument entry;
        if (!parseEntry(argument, entry))
            return usage();
        entries.push_back(entry);
    }
    if (!append) {
        std::ofstream truncate(archive, std::ios::binary | std::ios::trunc);
        if (!truncate)
            return fail("cannot create " + archive);
    }
    auto output = std::make_shared<druvex::HalFileOutputStream>();
    if (!output->openForAppend(host, devicePath(archive)))
        return fail("cannot open " + archive + " for appending");
    druvex::PayloadArchiveWriter writer(output, output->payloadBase());
    for (const EntryArgument& entry : entries) {
        if (entry.coding == "package" || entry.coding == "lzma") {
            if (const int status = entry.coding == "package" ? addPackage(writer, entry) : addLzmaFile(writer, entry))
                return status;
            continue;
        }
        Bytes data;
        if (!readHostFile(entry.file, data))
            return fail("cannot read " + entry.file);
        Bytes packed;
        std::uint32_t method = 0;
        std::uint32_t unpacked = 0;
        if (!codeEntry(entry, data, packed, method, unpacked))
            return fail("cannot code " + entry.file);
        druvex::MemoryInputStream input(packed);
        int error = 0;
        if (!writer.addEntry(druvex::fromUtf8(entry.name), method, input, unpacked, error))
            return fail("cannot add " + entry.name + " (error " + std::to_string(error) + ")");
    }
    int error = 0;
    if (!writer.finish(error))
        return fail("cannot finish " + archive + " (error " + std::to_string(error) + ")");
    return 0;
}

bool openArchive(druvex::PayloadArchive& archive, const std::string& path)
{
    int error = 0;
    if (archive.open(devicePath(path), error))
        return true;
    std::fprintf(stderr, "payload_tool: cannot open %s (error %d)\n", path.c_str(), error);
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
