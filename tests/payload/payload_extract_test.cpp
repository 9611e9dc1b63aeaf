// Decoding entries: the three methods against the same content (LZMA from our
// encoder and from xz), the pieces and calls a sink sees, damaged and
// truncated streams, hostile headers, sinks that refuse or want more, raw
// copies, verification, and extraction from several threads.
#include <gtest/gtest.h>

#include <thread>

#include "payload/entry_decoder.h"
#include "payload/payload_archive.h"
#include "payload_test_support.h"
#include "support/fault_injecting_hal.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;
using test::toBytes;

SharedString S(const std::u16string& text)
{
    return SharedString(std::u16string_view(text));
}

class PayloadArchiveExtract : public test::PayloadHostFixture {
protected:
    // Places the archive of the entries and opens `archive_` on it.
    void openArchive(const std::vector<test::EntrySource>& entries)
    {
        path_ = placeFile("a.dqres", test::buildArchive(entries));
        archive_ = &opened(path_);
    }
    Bytes extracted(const std::u16string& name, bool expected = true)
    {
        Bytes bytes{9, 9, 9};
        EXPECT_EQ(archive_->extractTo(S(name), bytes), expected) << std::string(name.begin(), name.end());
        return bytes;
    }
    test::RecordingSink record(const std::u16string& name, bool expected)
    {
        test::RecordingSink sink;
        EXPECT_EQ(archive_->extract(S(name), sink), expected);
        return sink;
    }

    SharedString path_;
    PayloadArchive* archive_ = nullptr;
};

Bytes withSize(Bytes stream, std::uint64_t size)
{
    writeLe64(stream.data() + 5, size);
    return stream;
}

// The same content stored, LZMA-coded by us and by xz, and zlib-coded; the
// sizes announced and the largest piece of each method.
TEST_F(PayloadArchiveExtract, EveryMethodGivesTheSameBytes)
{
    const Bytes data = test::sampleData(300000);
    const test::EntrySource lzma = test::codedEntry(u"Lzma", kPayloadMethodLzma, data);
    EXPECT_EQ(Bytes(lzma.packed.begin(), lzma.packed.begin() + 13),
              (Bytes{0x5D, 0, 0, 0, 1, 0xE0, 0x93, 0x04, 0, 0, 0, 0, 0}));  // a build's properties, exact size
    const Bytes xz = test::lzmaByXz(data);
    ASSERT_EQ(Bytes(xz.begin() + 5, xz.begin() + 13), Bytes(8, 0xFF));  // xz leaves the size unknown
    openArchive({test::codedEntry(u"Stored", kPayloadMethodStored, data), lzma,
                 {u"Xz", kPayloadMethodLzma, xz, 1}, test::codedEntry(u"Zlib", kPayloadMethodZlib, data),
                 {u"Five", 5, toBytes("packed as it is"), 77}, {u"Empty", kPayloadMethodStored, {}, 0}});
    struct Case {
        std::u16string name;
        std::string begin;
        std::uint32_t largestPiece;
    } cases[] = {{u"Stored", "begin 300000", 16384},
                 {u"Lzma", "begin 300000", 4096},
                 {u"Xz", "begin unknown", 4096},
                 {u"Zlib", "begin 300000", 16384}};
    for (const Case& c : cases) {
        int error = 0;
        EXPECT_TRUE(archive_->verifyEntry(S(c.name), error));
        EXPECT_EQ(extracted(c.name), data);
        const test::RecordingSink sink = record(c.name, true);
        EXPECT_EQ(sink.received, data);
        EXPECT_EQ(sink.calls.front(), c.begin);
        EXPECT_EQ(sink.calls.back(), "finish");
        for (std::size_t i = 1; i + 1 < sink.calls.size(); ++i)
            EXPECT_LE(std::stoul(sink.calls[i].substr(6)), c.largestPiece) << sink.calls[i];
    }
    EXPECT_EQ(extracted(u"Five"), toBytes("packed as it is"));  // an unknown method reads as stored
    EXPECT_EQ(record(u"Empty", true).calls, (std::vector<std::string>{"begin 0", "finish"}));
    EXPECT_EQ(record(u"Missing", false).calls, std::vector<std::string>{});
}

TEST_F(PayloadArchiveExtract, TruncatedLzmaFailsAndEnds)
{
    const Bytes data = test::sampleData(200000);
    const Bytes ours = test::codedEntry(u"", kPayloadMethodLzma, data).packed;
    const Bytes xz = test::lzmaByXz(data);
    std::vector<test::EntrySource> entries;
    for (const std::size_t cut : {1u, 100u, 10000u}) {
        entries.push_back({u"ours" + std::u16string(1, static_cast<char16_t>(u'0' + entries.size())),
                           kPayloadMethodLzma, Bytes(ours.begin(), ours.end() - static_cast<std::ptrdiff_t>(cut)),
                           200000});
        entries.push_back({u"xz" + std::u16string(1, static_cast<char16_t>(u'0' + entries.size())),
                           kPayloadMethodLzma, Bytes(xz.begin(), xz.end() - static_cast<std::ptrdiff_t>(cut)),
                           200000});
    }
    entries.push_back({u"header", kPayloadMethodLzma, Bytes(ours.begin(), ours.begin() + 12), 200000});
    entries.push_back({u"longer", kPayloadMethodLzma, withSize(ours, data.size() + 1), 200000});
    openArchive(entries);
    for (const test::EntrySource& entry : entries)
        extracted(entry.name, false);
    EXPECT_EQ(record(u"header", false).calls, std::vector<std::string>{});  // fails before begin
}

// A stream that decodes cleanly but gives the sink less than it needs is a
// failure: the unpacker's records would be missing, not merely short.
TEST_F(PayloadArchiveExtract, TheSinksLastWordCounts)
{
    const Bytes data = test::sampleData(30000);
    test::EntrySource zlib = test::codedEntry(u"ZlibLong", kPayloadMethodZlib, data);
    zlib.unpacked += 1;  // the directory promises a byte more than the stream holds
    openArchive({zlib, test::codedEntry(u"Lzma", kPayloadMethodLzma, data),
                 test::codedEntry(u"Stored", kPayloadMethodStored, data),
                 {u"Xz", kPayloadMethodLzma, test::lzmaByXz(data), 1}});
    extracted(u"ZlibLong", false);
    for (const std::u16string name : {u"Lzma", u"Stored", u"Xz", u"ZlibLong"}) {
        test::RecordingSink wantsMore;
        wantsMore.wants = data.size() + 1;
        EXPECT_FALSE(archive_->extract(S(name), wantsMore));
        EXPECT_EQ(wantsMore.received, data);
        EXPECT_EQ(wantsMore.calls.back(), "finish");
        test::RecordingSink satisfied;
        satisfied.wants = data.size();
        EXPECT_TRUE(archive_->extract(S(name), satisfied));
    }
}

TEST_F(PayloadArchiveExtract, DictionariesAboveTheLimitAreRefusedBeforeAllocation)
{
    const Bytes data = test::sampleData(5000);
    Bytes atLimit = test::codedEntry(u"", kPayloadMethodLzma, data).packed;
    writeLe32(atLimit.data() + 1, 64u << 20);
    Bytes aboveLimit = atLimit;
    writeLe32(aboveLimit.data() + 1, (64u << 20) + 1);
    Bytes huge = atLimit;
    writeLe32(huge.data() + 1, 0xFFFFFFFFu);
    Bytes badProperties = atLimit;
    badProperties[0] = 225;  // lc, lp and pb beyond their ranges
    openArchive({{u"AtLimit", kPayloadMethodLzma, atLimit, 5000},
                 {u"Above", kPayloadMethodLzma, aboveLimit, 5000},
                 {u"Huge", kPayloadMethodLzma, huge, 5000},
                 {u"BadProperties", kPayloadMethodLzma, badProperties, 5000}});
    EXPECT_EQ(extracted(u"AtLimit"), data);
    for (const std::u16string name : {u"Above", u"Huge", u"BadProperties"})
        EXPECT_EQ(record(name, false).calls, std::vector<std::string>{"begin 5000"});  // no finish
}

TEST_F(PayloadArchiveExtract, DamagedZlibFails)
{
    const Bytes data = test::sampleData(50000);
    test::EntrySource damaged = test::codedEntry(u"Damaged", kPayloadMethodZlib, data);
    damaged.packed[damaged.packed.size() / 2] ^= 0x55;
    test::EntrySource cut = test::codedEntry(u"Cut", kPayloadMethodZlib, data);
    cut.packed.resize(cut.packed.size() - 20);
    openArchive({damaged, cut, {u"NotZlib", kPayloadMethodZlib, toBytes("plain text, not a stream"), 24}});
    extracted(u"Damaged", false);
    extracted(u"Cut", false);
    EXPECT_EQ(record(u"NotZlib", false).calls, (std::vector<std::string>{"begin 24", "finish"}));
}

TEST_F(PayloadArchiveExtract, ARefusedPieceStopsTheExtraction)
{
    const Bytes data = test::sampleData(60000);
    openArchive({test::codedEntry(u"Stored", kPayloadMethodStored, data),
                 test::codedEntry(u"Lzma", kPayloadMethodLzma, data),
                 test::codedEntry(u"Zlib", kPayloadMethodZlib, data)});
    struct Case {
        std::u16string name;
        bool finishes;
    } cases[] = {{u"Stored", false}, {u"Lzma", true}, {u"Zlib", false}};
    for (const Case& c : cases) {
        test::RecordingSink sink;
        sink.refuseWrite = 2;
        EXPECT_FALSE(archive_->extract(S(c.name), sink));
        ASSERT_EQ(sink.calls.size(), c.finishes ? 4u : 3u);
        EXPECT_EQ(sink.calls.back() == "finish", c.finishes);
    }
}

TEST_F(PayloadArchiveExtract, AFailedReadFailsEveryMethod)
{
    const Bytes data = test::sampleData(100000);
    openArchive({test::codedEntry(u"Stored", kPayloadMethodStored, data),
                 test::codedEntry(u"Lzma", kPayloadMethodLzma, data),
                 test::codedEntry(u"Zlib", kPayloadMethodZlib, data)});
    for (std::int32_t i = 0; i < 3; ++i) {
        const PayloadEntry& entry = archive_->entryAt(i);
        test::HalFaultPlan plan;
        plan.failReadAtOffset = entry.offset + entry.packedSize / 2;
        test::FaultInjectingHal faulty(host_, plan);
        PayloadArchive archive(faulty);
        int error = 0;
        ASSERT_TRUE(archive.open(path_, error));
        Bytes bytes;
        EXPECT_FALSE(archive.extractTo(entry.name, bytes)) << i;
        EXPECT_FALSE(archive.verifyEntry(entry.name, error));
        EXPECT_EQ(error, kPayloadErrorChecksum);
    }
}

TEST_F(PayloadArchiveExtract, EntriesOutsideThePayloadAreNeverRead)
{
    const Bytes content = toBytes("0123456789");
    const std::uint32_t check = test::adlerOf(content);
    Bytes directory;
    for (const Bytes& record :
         {test::makeRecord(u"Inside", 0, 0, 10, 10, check), test::makeRecord(u"IntoDirectory", 0, 5, 10, 10, check),
          test::makeRecord(u"Wrapping", 0, ~std::uint64_t{0} - 2, 10, 10, check),
          test::makeRecord(u"Huge", 0, 0, ~std::uint64_t{0}, 10, check)})
        directory.insert(directory.end(), record.begin(), record.end());
    Bytes file = content;
    file.insert(file.end(), directory.begin(), directory.end());
    const Bytes trailer = test::makeTrailer(directory, 4, 0, content.size());
    file.insert(file.end(), trailer.begin(), trailer.end());
    PayloadArchive& reader = opened(placeFile("a.dqres", file));
    int error = 0;
    Bytes bytes;
    EXPECT_TRUE(reader.extractTo(u"Inside", bytes));
    for (const char16_t* name : {u"IntoDirectory", u"Wrapping", u"Huge"}) {
        test::RecordingSink sink;
        EXPECT_FALSE(reader.extract(SharedString(name), sink));
        EXPECT_TRUE(sink.calls.empty());
        EXPECT_FALSE(reader.verifyEntry(SharedString(name), error));
        EXPECT_EQ(error, kPayloadErrorChecksum);
    }
}

TEST_F(PayloadArchiveExtract, VerificationAndRawCopiesFindDamagedBytes)
{
    const Bytes data = test::sampleData(20000);
    const test::EntrySource lzma = test::codedEntry(u"Lzma", kPayloadMethodLzma, data);
    Bytes archive = test::buildArchive({lzma, test::codedEntry(u"Stored", kPayloadMethodStored, data)});
    archive[lzma.packed.size() + 100] ^= 0x10;  // inside "Stored"
    PayloadArchive& damaged = opened(placeFile("b.dqres", archive));
    int error = 0;
    Bytes raw;
    std::uint64_t unpacked = 0;
    std::uint32_t method = 99;
    EXPECT_FALSE(damaged.verifyEntry(u"Stored", error));
    EXPECT_EQ(error, kPayloadErrorChecksum);
    EXPECT_FALSE(damaged.verifyEntry(u"Missing", error));
    EXPECT_EQ(error, kPayloadErrorNoEntry);
    EXPECT_TRUE(damaged.verifyEntry(u"Lzma", error));
    EXPECT_FALSE(damaged.extractRawTo(u"Stored", raw, unpacked, method));
    test::RecordingSink sink;
    EXPECT_FALSE(damaged.extractRaw(u"Stored", sink, unpacked, method));
    EXPECT_NE(sink.calls.back(), "finish");
    EXPECT_TRUE(damaged.extractRawTo(u"Lzma", raw, unpacked, method));
    EXPECT_EQ(raw, lzma.packed);
    EXPECT_EQ(unpacked, data.size());
    EXPECT_EQ(method, kPayloadMethodLzma);
}

TEST(PayloadArchiveSinks, ByteVectorSinkTakesExactlyWhatWasAnnounced)
{
    const std::uint8_t bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Bytes reused(100000, 7);  // a vector with far more room than the entry needs
    ByteVectorSink sink(reused);
    sink.begin(10, 0);
    EXPECT_TRUE(reused.empty());
    EXPECT_TRUE(sink.write(6, bytes));
    EXPECT_FALSE(sink.finish());
    EXPECT_FALSE(sink.write(5, bytes + 6));  // beyond the announced 10
    EXPECT_EQ(reused.size(), 6u);
    EXPECT_TRUE(sink.write(4, bytes + 6));
    EXPECT_TRUE(sink.write(0, nullptr));
    EXPECT_TRUE(sink.finish());
    EXPECT_EQ(reused, Bytes(bytes, bytes + 10));

    Bytes limited;
    ByteVectorSink small(limited, 12);
    small.begin(13, 0);  // above the limit: refused outright
    EXPECT_FALSE(small.write(1, bytes));
    EXPECT_FALSE(small.finish());
    small.begin(0, 1);  // 4 GiB
    EXPECT_FALSE(small.write(1, bytes));

    small.begin(0xFFFFFFFFu, 0xFFFFFFFFu);  // unknown: grows up to the limit
    EXPECT_TRUE(small.write(8, bytes));
    EXPECT_FALSE(small.write(5, bytes));
    EXPECT_TRUE(small.write(4, bytes + 8));
    EXPECT_TRUE(small.finish());
    EXPECT_EQ(limited, Bytes(bytes, bytes + 12));
}

TEST(PayloadArchiveSinks, DecodeLzmaBufferTakesTheGivenLength)
{
    const Bytes data = test::sampleData(70000);
    Bytes stream = test::codedEntry(u"", kPayloadMethodLzma, data).packed;
    const std::size_t length = stream.size();
    Bytes out;
    EXPECT_TRUE(decodeLzmaBuffer(stream, 0, out));
    EXPECT_EQ(out, data);
    stream.insert(stream.end(), 100, 0xEE);
    out.clear();
    EXPECT_TRUE(decodeLzmaBuffer(stream, length, out));
    EXPECT_EQ(out, data);
    EXPECT_FALSE(decodeLzmaBuffer(stream, stream.size() + 1, out));
    EXPECT_FALSE(decodeLzmaBuffer(stream, length - 1000, out));

    out.clear();
    EXPECT_TRUE(decodeLzmaBuffer(test::lzmaByXz(data), 0, out));
    EXPECT_EQ(out, data);
    test::RecordingSink sink;
    EXPECT_FALSE(decodeLzmaBuffer(Bytes{0x5D, 0, 0}, 0, sink));
    EXPECT_TRUE(sink.calls.empty());
}

class PayloadArchiveThreads : public PayloadArchiveExtract {};

TEST_F(PayloadArchiveThreads, ExtractionsTakeTurnsOnTheOneFilePosition)
{
    std::vector<Bytes> contents;
    std::vector<test::EntrySource> entries;
    for (unsigned i = 0; i < 4; ++i) {
        contents.push_back(test::sampleData(150000, i + 10));
        entries.push_back(test::codedEntry(u"E" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                                           i % 2 ? kPayloadMethodLzma : kPayloadMethodStored, contents.back()));
    }
    openArchive(entries);
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (unsigned i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round) {
                Bytes bytes;
                int error = 0;
                good[i] += archive_->extractTo(S(entries[i].name), bytes) && bytes == contents[i] &&
                           archive_->verifyEntry(S(entries[i].name), error);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(good, std::vector<int>(4, 5));
}

}  // namespace
}  // namespace druvex
