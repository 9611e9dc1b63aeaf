// Writes seeds for the fuzz targets into <folder>/<target>/: inputs made by
// our own writers, and inputs that reach the input limits (nested as deep as
// allowed and one level deeper, sizes at a limit and one past it, many items
// of one kind). The fixture files of the tree are added by scripts/fuzz.
//     druvex_fuzz_seeds <folder>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

#include "fuzz/fuzz_host.h"
#include "package_writer/package_writer.h"
#include "payload/entry_encoder.h"
#include "payload/package_header.h"
#include "payload/package_streams.h"
#include "payload/payload_archive_writer.h"
#include "payload/payload_entry.h"
#include "payload/seven_zip_writer.h"
#include "platform/input_limits.h"
#include "support/font_files.h"
#include "support/hostile_inputs.h"
#include "support/pe_images.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kDocumentDepth = static_cast<int>(kMaxXmlDocumentDepth);
// Items of one kind in a seed of many: enough for every loop of a reader to
// run long, small enough that the fuzzer's mutations of it stay quick (the
// benchmark reads the large ones).
constexpr int kManyItems = 500;

class SeedFolder {
public:
    explicit SeedFolder(fs::path root) : root_(std::move(root)) {}

    void write(const std::string& target, const std::string& name, const Bytes& bytes) const
    {
        const fs::path folder = root_ / target;
        fs::create_directories(folder);
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + (folder / name).string());
    }
    void write(const std::string& target, const std::string& name, const std::string& text) const
    {
        write(target, name, Bytes(text.begin(), text.end()));
    }

private:
    fs::path root_;
};

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes utf16Le(const std::u16string& text)
{
    Bytes bytes{0xFF, 0xFE};
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

Bytes concat(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

void xmlSeeds(const SeedFolder& seeds)
{
    std::string deep;
    for (int i = 0; i < kDocumentDepth + 1; ++i)
        deep += "<e a=\"1\">";
    for (int i = 0; i < kDocumentDepth + 1; ++i)
        deep += "</e>";
    seeds.write("xml_reader", "deep.xml", deep);
    std::string attributes = "<many";
    for (int i = 0; i < kManyItems; ++i)
        attributes += " a" + std::to_string(i) + "=\"&lt;&amp;\xC3\xA9\"";
    seeds.write("xml_reader", "attributes.xml", attributes + "/>");

    seeds.write("data_xml", "siblings.xml", test::dataXmlWithSiblingFeatures(kManyItems));
    seeds.write("data_xml", "components.xml", test::dataXmlWithComponentFeatures(kManyItems));
    seeds.write("data_xml", "controls.xml", test::dataXmlWithLayoutControls(kManyItems));
    // The root feature and its "Features" and "data" elements take three levels.
    seeds.write("data_xml", "nested-at-limit.xml", test::dataXmlWithNestedFeatures(kDocumentDepth - 4));
    seeds.write("data_xml", "nested-past-limit.xml", test::dataXmlWithNestedFeatures(kDocumentDepth));
    const int keyDepth = static_cast<int>(kMaxRegistryKeyDepth);
    seeds.write("data_xml", "registry.xml",
                test::dataXmlDocument(test::featureStartTag("Reg") + test::registryFragmentWithNestedKeys(keyDepth) +
                                      "</Feature>"));

    seeds.write("registry_fragment", "at-limit.xml", test::registryFragmentWithNestedKeys(keyDepth));
    seeds.write("registry_fragment", "past-limit.xml", test::registryFragmentWithNestedKeys(keyDepth + 1));
    seeds.write("registry_fragment", "values.xml",
                "<Registry><HKEY_CLASSES_ROOT><Key Name=\".x\" Flag=\"SystemReadOnly\" DefaultValue=\"d\">"
                "<Key Name=\"sub\" Flag=\"Persistent\"><Value Name=\"s\" Format=\"Expand\" Data=\"%TEMP%\"/></Key>"
                "</Key></HKEY_CLASSES_ROOT><HKEY_USER_DEP><Key Name=\"u\" Flag=\"Automatic\">"
                "<Value Name=\"n\" Format=\"String\" Data=\"t\"/></Key></HKEY_USER_DEP></Registry>");

    const std::string fragments[] = {
        "<EnvironmentVars><EnvironmentVar Name=\"PATH\" Value=\"&lt;TARGETDIR&gt;\" Action=\"Append\"/></EnvironmentVars>",
        "<FileAssociations><FileAssociation Name=\"Job\" Icon=\"a.exe,0\"><FileExtension Name=\"job\">"
        "<FileAction Name=\"open\" Command=\"a.exe %1\"/></FileExtension></FileAssociation></FileAssociations>",
        "<FeatureScripts><FeatureScript Name=\"s.lua\" Event=\"Install\"/></FeatureScripts>",
        "<Shortcuts><Shortcut Name=\"App\" LinkPos=\"MenuPrograms\" LinkedTo=\"&lt;TARGETDIR&gt;\\a.exe\"/></Shortcuts>",
        "<Iis><AppPool Name=\"p\"/><WebSite Name=\"w\" Port=\"80\"><Application Name=\"a\" Path=\"/a\"/></WebSite></Iis>",
    };
    for (std::uint8_t type = 0; type < std::size(fragments); ++type)
        seeds.write("record_fragments", "type" + std::to_string(type) + ".xml",
                    concat(Bytes{type}, bytesOf(fragments[type])));

    seeds.write("installer_info", "words.bin", Bytes{1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0});
    seeds.write("installer_info", "document.xml",
                "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<InstallerConfiguration InstallerType=\"Web\" "
                "InstallerPlat=\"Controller\" TargetPlatMask=\"Qm40,Wm6\"/>\n");
}

void registrySeeds(const SeedFolder& seeds)
{
    const int keyDepth = static_cast<int>(kMaxRegistryKeyDepth);
    seeds.write("registry_file", "keys-at-limit.reg", test::registryFileWithKeys(kManyItems, keyDepth));
    seeds.write("registry_file", "past-limit.reg", test::registryFileWithKeys(1, keyDepth + 1));
    seeds.write("registry_file", "types.reg",
                "DRUVEX-REGISTRY 1\n\n[HKEY_CURRENT_USER\\Software\\Types]\n@=\"default\"\n\"d\"=dword:0000002a\n"
                "\"e\"=expand:\"%TEMP%\\\\x\"\n\"m\"=multi:\"a\",\"b\"\n\"b\"=hex:00,ff\n\"t\"=hex(5):01,02\n");

    seeds.write("ini_file", "continued.ini", test::iniWithContinuationLines(4 * kManyItems));
    seeds.write("ini_file", "long-line.ini", "[S]\r\nkey=" + std::string(1 << 16, 'v') + "\r\n" +
                                                 std::string(1 << 12, 'x') + "\r\n");
    // Keys that begin with the bytes of a byte-order mark once saved in the
    // 8-bit encoding (EF BB BF, FF FE).
    seeds.write("ini_file", "utf8-mark-key.ini", utf16Le(u"\u00EF\u00BB\u00BFkey=1\r\n[S]\r\nk=v\r\n"));
    seeds.write("ini_file", "utf16-mark-key.ini", utf16Le(u"\u00FF\u00FEkey=1\r\n"));
    seeds.write("ini_file", "unmapped.ini", utf16Le(u"key=\u4E2D\r\n"));

    std::u16string table;
    for (int i = 0; i < kManyItems; ++i)
        table += u"[key" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + u"][text\\r\\n]\r\n";
    table += u"[[nested]][x]";
    seeds.write("xlate_table", "pairs.xlt", utf16Le(table));
}

// A package output stream into memory.
class VectorOutput final : public PackageOutputStream {
public:
    explicit VectorOutput(Bytes& bytes) : bytes_(bytes) {}
    bool write(std::uint32_t size, const std::uint8_t* bytes) override
    {
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        return true;
    }
    bool close() override { return true; }

private:
    Bytes& bytes_;
};

Bytes packageWithFiles()
{
    tools::PackageWriter writer;
    writer.addData(kPackageRecordShortcuts, bytesOf("<Shortcuts><Shortcut Name=\"A\" LinkPos=\"Desktop\" "
                                                        "LinkedTo=\"&lt;TARGETDIR&gt;\\a.txt\"/></Shortcuts>"));
    writer.addData(3, bytesOf(test::registryFragmentWithNestedKeys(3)));
    writer.openFolder(u"<TARGETDIR>").addFile(u"a.txt", bytesOf("hello"), 0x01D8676AF5D90000ull, 0x0003000500000000ull);
    writer.openFolder(u"sub", 16).addFile(u"b.bin", Bytes(5000, 7)).addFile(u"empty", {}).closeFolder();
    writer.closeFolder();
    return writer.build();
}

Bytes packageNested(int depth)
{
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>");
    for (int i = 1; i < depth; ++i)
        writer.openFolder(u"d");
    writer.addFile(u"f", bytesOf("x"));
    return writer.build();
}

Bytes packageOfSmallRecords(int count)
{
    tools::PackageWriter writer;
    for (int i = 0; i < count; ++i)
        writer.addData(kPackageRecordFirstSkipped, {});
    return writer.build();
}

Bytes packageHeaderSizeWord(std::uint64_t size)
{
    Bytes bytes(12, 0);
    writeLe64(bytes.data(), size);
    writeLe32(bytes.data() + 8, kPackageMaxVersion);
    return bytes;
}

void packageSeeds(const SeedFolder& seeds)
{
    const Bytes files = packageWithFiles();
    const int nesting = static_cast<int>(kMaxFolderNesting);
    const Bytes nested = packageNested(nesting);
    const Bytes tooDeep = packageNested(nesting + 1);
    const Bytes small = packageOfSmallRecords(4 * kManyItems);
    const Bytes tooLarge = packageHeaderSizeWord(kMaxPackageHeaderSize + 1);
    for (const auto& [name, bytes] : {std::pair{"files.pkg", files}, {"nested-at-limit.pkg", nested},
                                      {"nested-past-limit.pkg", tooDeep}, {"small-records.pkg", small},
                                      {"header-past-limit.pkg", tooLarge}}) {
        const std::uint64_t headerSize = readLe64(bytes.data());
        seeds.write("package_header", name,
                    Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                             std::min<std::uint64_t>(headerSize, bytes.size()))));
        // The unpacker's first byte chooses the piece size.
        seeds.write("package_unpacker", name, concat(Bytes{static_cast<std::uint8_t>(name[0])}, bytes));
    }
}

// An LZMA header announcing a dictionary of `dictionary` bytes and an
// unknown length, with a little coded data after it.
Bytes lzmaHeaderWithDictionary(std::uint32_t dictionary, const Bytes& coded)
{
    Bytes header(13, 0xFF);
    header[0] = 0x5D;
    writeLe32(header.data() + 1, dictionary);
    return concat(header, Bytes(coded.begin() + 13, coded.end()));
}

void entrySeeds(const SeedFolder& seeds, const Bytes& package)
{
    Bytes lzma;
    encodeLzmaEntry(package, lzma);
    Bytes zlib;
    encodeZlibEntry(package, zlib);
    Bytes size(8, 0);
    writeLe64(size.data(), package.size());
    seeds.write("entry_decoder", "stored.bin", concat(concat(Bytes{0}, size), package));
    seeds.write("entry_decoder", "lzma.bin", concat(concat(Bytes{1}, size), lzma));
    seeds.write("entry_decoder", "zlib.bin", concat(concat(Bytes{2}, size), zlib));
    seeds.write("entry_decoder", "buffer.bin", concat(concat(Bytes{3}, size), lzma));
    const auto limit = static_cast<std::uint32_t>(kMaxLzmaDictionarySize);
    seeds.write("entry_decoder", "dictionary-at-limit.bin",
                concat(concat(Bytes{1}, size), lzmaHeaderWithDictionary(limit, lzma)));
    seeds.write("entry_decoder", "dictionary-past-limit.bin",
                concat(concat(Bytes{1}, size), lzmaHeaderWithDictionary(limit + 1, lzma)));

    // An archive of a package (LZMA), the installer data (zlib) and a stored
    // translation, as a build makes it.
    Bytes archive;
    auto output = std::make_shared<VectorOutput>(archive);
    PayloadArchiveWriter writer(output, 0);
    int error = 0;
    MemoryInputStream packed(lzma);
    writer.addEntry(SharedString(u"Packages/Core"), kPayloadMethodLzma, packed,
                    static_cast<std::uint32_t>(package.size()), error);
    const Bytes data = bytesOf(test::dataXmlWithSiblingFeatures(3));
    Bytes dataZlib;
    encodeZlibEntry(data, dataZlib);
    MemoryInputStream dataPacked(dataZlib);
    writer.addEntry(SharedString(u"Data"), kPayloadMethodZlib, dataPacked, static_cast<std::uint32_t>(data.size()),
                    error);
    const Bytes translation = utf16Le(u"[Cancel][Abbrechen]");
    MemoryInputStream stored(translation);
    writer.addEntry(SharedString(u"Lang/1031.xlt"), kPayloadMethodStored, stored,
                    static_cast<std::uint32_t>(translation.size()), error);
    writer.finish(error);
    seeds.write("archive", "setup.dqres", archive);
    // The same with a trailer announcing a directory past the limit.
    Bytes huge = archive;
    writeLe64(huge.data() + huge.size() - kPayloadTrailerSize + 32, kMaxArchiveDirectorySize + 1);
    seeds.write("archive", "directory-past-limit.dqres", huge);
}

void sevenZipSeeds(const SeedFolder& seeds)
{
    fuzz::FuzzDevice& device = fuzz::FuzzDevice::instance();
    const auto& host = fuzz::fuzzHost();
    device.writeFile("Files/a.txt", bytesOf("first file"));
    device.writeFile("Files/sub/b.bin", Bytes(3000, 0x5A));
    device.writeFile("Files/sub/empty", {});
    SevenZipWriter writer;
    writer.open(host, SharedString(u"\\backup.7z"));
    writer.addPath(SharedString(u"\\Files\\a.txt"), SharedString(u"a.txt"));
    writer.addPath(SharedString(u"\\Files\\sub\\b.bin"), SharedString(u"sub/b.bin"));
    writer.addPath(SharedString(u"\\Files\\sub\\empty"), SharedString(u"sub/empty"));
    writer.close(nullptr);
    std::ifstream in(fs::path(device.directory()) / "fs" / "backup.7z", std::ios::binary);
    const Bytes archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    seeds.write("seven_zip", "backup.7z", archive);
    // The next header announced one byte past the limit.
    if (archive.size() >= 32) {
        Bytes huge = archive;
        writeLe64(huge.data() + 20, kMax7zHeaderSize + 1);
        seeds.write("seven_zip", "header-past-limit.7z", huge);
    }
    device.clear();
}

void fileSeeds(const SeedFolder& seeds)
{
    using namespace test;
    const Bytes cmap = cmapTable({{3, 1, format4({{0x20, 0x7E, static_cast<std::uint16_t>(3 - 0x20), {}},
                                                  {0x400, 0x403, 5, {10, 11, 0, 12}}})},
                                  {1, 0, format4({{0x41, 0x5A, 1, {}}})}});
    seeds.write("font_cmap", "font.ttf", fontFile({{"cmap", cmap}, {"name", nameTable(u"Fuzz Sans")}}));
    const PeFixedVersion version{0x00010002, 0x00030004, 0x00050006, 0x00070008};
    seeds.write("pe_version", "pe32.dll", buildPeImage(version, false));
    seeds.write("pe_version", "pe32plus.dll", buildPeImage(version, true));
}

}  // namespace
}  // namespace druvex

int main(int argc, char** argv)
{
    using namespace druvex;
    if (argc != 2) {
        std::fprintf(stderr, "usage: druvex_fuzz_seeds <folder>\n");
        return 2;
    }
    const SeedFolder seeds{fs::path(argv[1])};
    xmlSeeds(seeds);
    registrySeeds(seeds);
    packageSeeds(seeds);
    entrySeeds(seeds, packageWithFiles());
    sevenZipSeeds(seeds);
    fileSeeds(seeds);
    return 0;
}
