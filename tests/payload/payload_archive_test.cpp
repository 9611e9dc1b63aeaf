// The installer archive reader: the golden layout, finding the trailer at the
// end of a program file or before a signed file's certificate, the directory's
// check word and shape, and the open and fallback rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "core/app_paths.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "platform/input_limits.h"
#include "payload_test_support.h"
#include "support/external_tool.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;
using test::toBytes;

const Bytes kEmptyArchive = {
    0x9E, 0x99, 0xA9, 0x1C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
    0,    0,    0,    0,    0, 0, 0, 0, 0x49, 0x4D, 0xFD, 0x01, 0x9E, 0x99, 0xA9, 0x1C,
};

// "Data" = "abc", stored, at payload base 0.
const Bytes kOneEntryArchive = {
    0x61, 0x62, 0x63,                                                  // the entry's bytes
    0x04, 0x00, 0x44, 0x00, 0x61, 0x00, 0x74, 0x00, 0x61, 0x00,        // name length 4, "Data"
    0x00, 0x00, 0x00, 0x00,                                            // method 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // offset 0
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // packed 3
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // unpacked 3
    0x4D, 0x02, 0x27, 0x01,                                            // Adler-32 of "abc"
    0x9E, 0x99, 0xA9, 0x1C, 0x01, 0x00, 0x00, 0x00,                    // magic, one record
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // payload base 0
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // directory, relative
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // directory, absolute
    0x2A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                    // directory size 42
    0x60, 0xD7, 0x29, 0x04, 0x9E, 0x99, 0xA9, 0x1C,                    // check word, magic
};

class PayloadArchiveOpen : public test::PayloadHostFixture {
protected:
    // Opens the bytes as \Temp\<name>; the error code is 0 on success.
    bool openBytes(PayloadArchive& archive, const Bytes& bytes, int& error, std::string_view name = "a.dqres")
    {
        error = 0;
        return archive.open(placeFile(name, bytes), error);
    }
    int openError(const Bytes& bytes)
    {
        PayloadArchive archive(*host_);
        int error = 0;
        const bool opened = openBytes(archive, bytes, error);
        EXPECT_EQ(opened, error == 0);
        if (!opened) {
            EXPECT_EQ(archive.entryCount(), 0u);
        }
        return error;
    }
};

TEST_F(PayloadArchiveOpen, GoldenEmptyArchive)
{
    EXPECT_EQ(test::buildArchive({}), kEmptyArchive);
    PayloadArchive& archive = opened(placeFile("a.dqres", kEmptyArchive));
    EXPECT_EQ(archive.entryCount(), 0u);
    EXPECT_EQ(archive.findEntry(u"Data"), -1);
}

TEST_F(PayloadArchiveOpen, GoldenOneEntryArchive)
{
    EXPECT_EQ(test::buildArchive({{u"Data", kPayloadMethodStored, toBytes("abc"), 3}}), kOneEntryArchive);
    PayloadArchive& archive = opened(placeFile("a.dqres", kOneEntryArchive));
    ASSERT_EQ(archive.entryCount(), 1u);
    const PayloadEntry& entry = archive.entryAt(0);
    EXPECT_EQ(entry.name, u"Data");
    EXPECT_EQ(entry.packedSize, 3u);
    EXPECT_EQ(entry.checksum, 0x0127024Du);
    EXPECT_EQ(archive.findEntry(u"Data"), 0);
    EXPECT_EQ(archive.findEntry(u"data"), -1);  // names match exactly
    Bytes bytes;
    EXPECT_TRUE(archive.extractTo(u"Data", bytes));
    EXPECT_EQ(bytes, toBytes("abc"));
    EXPECT_THROW(archive.entryAt(1), std::out_of_range);
    EXPECT_THROW(archive.entryAt(-1), std::out_of_range);
}

// The archive a writer with the RFC 1950 order of the halves would make.
TEST_F(PayloadArchiveOpen, CheckWordsInRfcOrderFail)
{
    const auto rfc = [](std::uint32_t word) { return (word << 16) | (word >> 16); };
    Bytes file = toBytes("abc");
    const Bytes directory = test::makeRecord(u"Data", 0, 0, 3, 3, rfc(test::adlerOf(toBytes("abc"))));
    file.insert(file.end(), directory.begin(), directory.end());
    Bytes trailer = test::makeTrailer(directory, 1, 0, 3);
    writeLe32(trailer.data() + 40, rfc(readLe32(trailer.data() + 40)));
    file.insert(file.end(), trailer.begin(), trailer.end());
    EXPECT_EQ(openError(file), kPayloadErrorChecksum);
}

TEST_F(PayloadArchiveOpen, FoundAppendedToAnElfProgram)
{
    const Bytes program = test::readFileBytes("/bin/true");
    ASSERT_GT(program.size(), 1000u);
    ASSERT_EQ(Bytes(program.begin(), program.begin() + 4), (Bytes{0x7F, 'E', 'L', 'F'}));
    const SharedString path = placeFile("setup", program);

    auto output = std::make_shared<HalFileOutputStream>();
    ASSERT_TRUE(output->openForAppend(host_, path));
    EXPECT_EQ(output->payloadBase(), program.size());
    PayloadArchiveWriter writer(output, output->payloadBase());
    const Bytes data = test::sampleData(50000);
    int error = 0;
    for (const char16_t* name : {u"E0", u"E1", u"E2"}) {
        const std::uint32_t method = static_cast<std::uint32_t>(name[1] - u'0');
        const test::EntrySource source = test::codedEntry(name, method, data);
        MemoryInputStream input(source.packed);
        ASSERT_TRUE(writer.addEntry(name, method, input, source.unpacked, error));
    }
    ASSERT_TRUE(writer.finish(error));

    PayloadArchive& archive = opened(path);
    ASSERT_EQ(archive.entryCount(), 3u);
    for (const char16_t* name : {u"E0", u"E1", u"E2"}) {
        Bytes bytes;
        EXPECT_TRUE(archive.verifyEntry(name, error));
        EXPECT_TRUE(archive.extractTo(name, bytes));
        EXPECT_EQ(bytes, data);
    }
    // The program is untouched in front of the archive.
    const Bytes file = test::readFileBytes(device().hostPath("Temp/setup"));
    EXPECT_TRUE(std::equal(program.begin(), program.end(), file.begin()));
}

// A PE32 or PE32+ image whose certificate table (8-byte aligned after the
// archive, as signing leaves it) follows the archive. Its last 48 bytes look
// like a trailer too, pointing nowhere sound.
Bytes signedProgram(bool plus, bool withArchive, const Bytes& data, bool archiveAfterCertificate = false)
{
    Bytes image(2048, 0);
    image[0] = 'M';
    image[1] = 'Z';
    writeLe32(image.data() + 60, 0x80);
    writeLe32(image.data() + 0x80, 0x00004550);
    const std::size_t fileHeader = 0x84;
    writeLe16(image.data() + fileHeader + 16, plus ? 240 : 224);
    std::uint8_t* optional = image.data() + fileHeader + 20;
    writeLe16(optional, plus ? 0x20B : 0x10B);
    writeLe32(optional + (plus ? 108 : 92), 16);

    Bytes archive;
    if (withArchive)
        archive = test::buildArchive({test::codedEntry(u"Data", kPayloadMethodLzma, data)}, image.size());
    Bytes file = image;
    if (!archiveAfterCertificate)
        file.insert(file.end(), archive.begin(), archive.end());
    while (file.size() % 8 != 0)
        file.push_back(0);
    const std::size_t certificateOffset = file.size();
    Bytes certificate(600, 0x5A);
    const Bytes fakeTrailer = test::makeTrailer(Bytes(10, 1), 1, 0, 12345);
    std::copy(fakeTrailer.begin(), fakeTrailer.end(), certificate.end() - 48);
    file.insert(file.end(), certificate.begin(), certificate.end());
    if (archiveAfterCertificate) {
        // Rebuilt for where it now lies: after the certificate.
        archive = test::buildArchive({test::codedEntry(u"Data", kPayloadMethodLzma, data)}, file.size());
        file.insert(file.end(), archive.begin(), archive.end());
    }
    std::uint8_t* directory = file.data() + fileHeader + 20 + (plus ? 144 : 128);
    writeLe32(directory, static_cast<std::uint32_t>(certificateOffset));
    writeLe32(directory + 4, static_cast<std::uint32_t>(certificate.size()));
    return file;
}

TEST_F(PayloadArchiveOpen, FoundBeforeTheCertificateOfASignedProgram)
{
    const Bytes data = test::sampleData(20000);
    for (const bool plus : {false, true}) {
        SCOPED_TRACE(plus);
        PayloadArchive& archive = opened(placeFile("a.dqres", signedProgram(plus, true, data)));
        Bytes bytes;
        EXPECT_TRUE(archive.extractTo(u"Data", bytes));
        EXPECT_EQ(bytes, data);

        // Without an archive the last 48 bytes are taken, and they are no sound trailer.
        EXPECT_EQ(openError(signedProgram(plus, false, data)), kPayloadErrorChecksum);
        // An archive after the certificate is found at the end of the file.
        EXPECT_EQ(openError(signedProgram(plus, false, data, true)), 0);
    }
}

// Any PE header the reader cannot follow sends it to the file's last 48
// bytes, here the certificate's fake trailer.
TEST_F(PayloadArchiveOpen, BrokenPeHeadersFallBackToTheEnd)
{
    const Bytes good = signedProgram(false, true, test::sampleData(3000));
    ASSERT_EQ(openError(good), 0);
    constexpr std::size_t optional = 0x84 + 20;
    const std::vector<std::vector<std::pair<std::size_t, std::uint8_t>>> damages = {
        {{0, 'X'}},                                       // no "MZ"
        {{60, 0x90}},                                     // the PE header is not where it says
        {{63, 0x80}},                                     // a negative PE header offset
        {{0x80, 'Q'}},                                    // no "PE"
        {{0x84 + 16, 0}},                                 // an optional header of size 0
        {{optional, 0x0C}},                               // an unknown optional-header magic
        {{optional + 92, 4}},                             // only four data directories
        {{optional + 128 + 4, 0}, {optional + 128 + 5, 0}},  // an empty certificate table
        {{optional + 128, 100}, {optional + 128 + 1, 0}, {optional + 128 + 2, 0}},  // too near the start
        {{optional + 128 + 3, 0x40}},                     // a certificate beyond the file
    };
    for (const auto& damage : damages) {
        Bytes file = good;
        for (const auto& [offset, value] : damage)
            file[offset] = value;
        EXPECT_EQ(openError(file), kPayloadErrorChecksum) << damage.front().first;
    }
}

TEST_F(PayloadArchiveOpen, BothMagicWordsMakeATrailer)
{
    Bytes file = kOneEntryArchive;
    file[file.size() - 1] = 0x1D;
    EXPECT_EQ(openError(file), kPayloadErrorFormat);
    file = kOneEntryArchive;
    file[3 + 42] ^= 1;
    EXPECT_EQ(openError(file), kPayloadErrorFormat);
    EXPECT_EQ(openError(Bytes(47, 0)), kPayloadErrorFormat);
    EXPECT_EQ(openError(Bytes()), kPayloadErrorFormat);
}

TEST_F(PayloadArchiveOpen, EveryDamagedDirectoryOrTrailerByteFailsTheCheckWord)
{
    const Bytes data = test::sampleData(4000);
    const Bytes sound = test::buildArchive({test::codedEntry(u"Data", kPayloadMethodLzma, data),
                                            test::codedEntry(u"InstallerInfo", kPayloadMethodStored, data),
                                            test::codedEntry(u"Feature/Help/English", kPayloadMethodZlib, data)});
    const PayloadTrailer trailer = parsePayloadTrailer(sound.data() + sound.size() - kPayloadTrailerSize);
    const std::size_t trailerStart = sound.size() - kPayloadTrailerSize;
    ASSERT_EQ(trailer.directoryOffset + trailer.directorySize, trailerStart);
    for (std::size_t at = trailer.directoryOffset; at < trailerStart + 44; ++at) {
        if (at >= trailerStart && at < trailerStart + 4)
            continue;  // the magic word: no trailer at all
        for (const std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            Bytes damaged = sound;
            damaged[at] ^= flip;
            EXPECT_EQ(openError(damaged), kPayloadErrorChecksum) << at << " " << int(flip);
        }
    }
}

TEST_F(PayloadArchiveOpen, DirectoryShapeIsCheckedAfterTheCheckWord)
{
    const Bytes record = test::makeRecord(u"Data", 0, 0, 3, 3, test::adlerOf(toBytes("abc")));
    const auto archiveOf = [&](const Bytes& directory, std::uint32_t count) {
        Bytes file = toBytes("abc");
        file.insert(file.end(), directory.begin(), directory.end());
        const Bytes trailer = test::makeTrailer(directory, count, 0, 3);
        file.insert(file.end(), trailer.begin(), trailer.end());
        return file;
    };
    EXPECT_EQ(openError(archiveOf(record, 1)), 0);
    const Bytes zeroInName = test::makeRecord(std::u16string(u"Da\0ta", 5), 0, 0, 3, 3, test::adlerOf(toBytes("abc")));
    EXPECT_EQ(opened(placeFile("a.dqres", archiveOf(zeroInName, 1))).entryAt(0).name, u"Da");  // ends at a zero unit

    // A count no directory of this size can hold: refused before any record is read.
    EXPECT_EQ(openError(archiveOf(record, 0xFFFFFFFFu)), kPayloadErrorFormat);
    EXPECT_EQ(openError(archiveOf(record, 2)), kPayloadErrorFormat);
    EXPECT_EQ(openError(archiveOf(record, 0)), kPayloadErrorFormat);  // bytes left over

    Bytes longer = record;
    longer.push_back(0);
    EXPECT_EQ(openError(archiveOf(longer, 1)), kPayloadErrorFormat);
    Bytes shorter(record.begin(), record.end() - 1);
    EXPECT_EQ(openError(archiveOf(shorter, 1)), kPayloadErrorFormat);
    // A name longer than what is left of the directory.
    Bytes longName = record;
    writeLe16(longName.data(), 0xFFFF);
    EXPECT_EQ(openError(archiveOf(longName, 1)), kPayloadErrorFormat);

    // A gap between directory and trailer, with a check word over what is there.
    Bytes gapped = toBytes("abc");
    gapped.insert(gapped.end(), record.begin(), record.end());
    gapped.push_back(0x77);
    Bytes trailer = test::makeTrailer(record, 1, 0, 3);
    Bytes covered(gapped.begin() + 3, gapped.end());
    covered.insert(covered.end(), trailer.begin(), trailer.begin() + 39);
    writeLe32(trailer.data() + 40, test::adlerOf(covered));
    gapped.insert(gapped.end(), trailer.begin(), trailer.end());
    EXPECT_EQ(openError(gapped), kPayloadErrorFormat);

    // As many records as the directory limit holds, and one more.
    const Bytes empty = test::makeRecord(u"", 0, 0, 0, 0, 1);
    const auto records = static_cast<std::uint32_t>(kMaxArchiveDirectorySize / empty.size());
    for (const std::uint32_t count : {records, records + 1}) {
        Bytes directory;
        directory.reserve(empty.size() * count);
        for (std::uint32_t i = 0; i < count; ++i)
            directory.insert(directory.end(), empty.begin(), empty.end());
        EXPECT_EQ(openError(archiveOf(directory, count)), count == records ? 0 : kPayloadErrorFormat) << count;
    }
}

TEST_F(PayloadArchiveOpen, AnOpenReaderStaysWithItsFile)
{
    PayloadArchive archive(*host_);
    int error = 0;
    EXPECT_FALSE(archive.open(u"\\Temp\\missing.dqres", error));
    EXPECT_EQ(error, kPayloadErrorOpen);
    EXPECT_FALSE(openBytes(archive, toBytes("no archive here, just text long enough to hold a trailer...."), error,
                           "bad.dqres"));
    EXPECT_EQ(error, kPayloadErrorFormat);
    ASSERT_TRUE(openBytes(archive, kOneEntryArchive, error, "one.dqres"));
    error = 0;
    EXPECT_TRUE(openBytes(archive, kEmptyArchive, error, "empty.dqres"));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(archive.entryCount(), 1u);
}

class PayloadArchiveDefault : public PayloadArchiveOpen {
protected:
    void SetUp() override
    {
        PayloadArchiveOpen::SetUp();
        device().makeFolder("Program Files/Survey");
        AppPaths::setInstance(u"\\Program Files\\Survey\\setup.exe");
    }
    void TearDown() override
    {
        AppPaths::resetInstance();
        PayloadArchiveOpen::TearDown();
    }
    void placeProgram(std::string_view name, const Bytes& bytes)
    {
        device().writeFile("Program Files/Survey/" + std::string(name),
                           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
};

// The setup file beside the program comes first, then the archive appended
// to the program; the first error is the one kept.
TEST_F(PayloadArchiveDefault, TheSetupFileComesFirstThenTheProgram)
{
    Bytes program = test::readFileBytes("/bin/true");
    const Bytes appended = test::buildArchive({{u"Data", kPayloadMethodStored, toBytes("abc"), 3}}, program.size());
    program.insert(program.end(), appended.begin(), appended.end());
    const struct {
        const char* what;
        Bytes setupExe;
        std::optional<Bytes> setupFile;
        bool opened;
        int error;
    } cases[] = {
        {"a setup file", kEmptyArchive, kOneEntryArchive, true, 0},
        {"a setup file without a trailer", program,
         toBytes("a setup file without any trailer, long enough to be looked at"), true, kPayloadErrorFormat},
        {"no setup file", program, std::nullopt, true, kPayloadErrorOpen},
        {"neither", toBytes("MZ but nothing else"), std::nullopt, false, kPayloadErrorFormat},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        placeProgram("setup.exe", c.setupExe);
        std::filesystem::remove(device().hostPath("Program Files/Survey/setup.dqres"));
        if (c.setupFile)
            placeProgram("setup.dqres", *c.setupFile);
        PayloadArchive archive(*host_);
        int error = 0;
        EXPECT_EQ(archive.openDefault(error), c.opened);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(archive.entryCount(), c.opened ? 1u : 0u);
        Bytes bytes;
        EXPECT_EQ(archive.extractTo(u"Data", bytes), c.opened);
        if (c.opened) {
            EXPECT_EQ(bytes, toBytes("abc"));
        }
    }
}

}  // namespace
}  // namespace druvex
