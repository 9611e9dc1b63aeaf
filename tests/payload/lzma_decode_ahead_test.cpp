// The LZMA decoding ahead on worker threads: what a sink sees of a stream
// taken from the decoders is exactly what decodeLzmaEntry would have shown it
// (sound, damaged, cut short and refused streams, dictionaries that wrap or
// are too small to keep pieces), whatever the buffers; the buffers stay
// within their bound; streams taken out of order, not opened, stopped or
// paused.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

#include "payload/entry_decoder.h"
#include "payload/entry_encoder.h"
#include "payload/lzma_decode_ahead.h"
#include "payload_test_support.h"

namespace druvex {
namespace {

using test::Bytes;
using test::RecordingSink;

// What a sink saw and what the decoding answered.
struct Outcome {
    std::vector<std::string> calls;
    Bytes received;
    bool decoded = false;

    bool operator==(const Outcome&) const = default;
};

// The sink of a stream: refuses its Nth write, and may do something at a
// write of its own (stop or pause the decoders, as a run's thread does).
struct SinkPlan {
    int refuseWrite = 0;
    int actAtWrite = 0;
    std::function<void()> act;
};

class ActingSink final : public PayloadSink {
public:
    explicit ActingSink(const SinkPlan& plan) : plan_(plan) { inner_.refuseWrite = plan.refuseWrite; }
    void begin(std::uint32_t low, std::uint32_t high) override { inner_.begin(low, high); }
    bool write(std::uint32_t size, const std::uint8_t* bytes) override
    {
        if (++writes_ == plan_.actAtWrite && plan_.act)
            plan_.act();
        return inner_.write(size, bytes);
    }
    bool finish() override { return inner_.finish(); }

    Outcome outcome(bool decoded) const { return {inner_.calls, inner_.received, decoded}; }

private:
    const SinkPlan& plan_;
    RecordingSink inner_;
    int writes_ = 0;
};

Outcome decodeHere(const Bytes& stream, const SinkPlan& plan = {})
{
    ActingSink sink(plan);
    MemoryEntryInput input(stream);
    const bool decoded = decodeLzmaEntry(input, sink);
    return sink.outcome(decoded);
}

std::optional<Outcome> takeFrom(LzmaDecodeAhead& ahead, std::size_t index, const SinkPlan& plan = {})
{
    ActingSink sink(plan);
    const std::optional<bool> decoded = ahead.take(index, sink);
    if (!decoded)
        return std::nullopt;
    return sink.outcome(*decoded);
}

EntryInputOpener openerOf(const Bytes& stream)
{
    return [&stream]() -> std::unique_ptr<EntryInput> { return std::make_unique<MemoryEntryInput>(stream); };
}

std::vector<EntryInputOpener> openersOf(const std::vector<Bytes>& streams)
{
    std::vector<EntryInputOpener> openers;
    for (const Bytes& stream : streams)
        openers.push_back(openerOf(stream));
    return openers;
}

Bytes coded(const Bytes& data)
{
    Bytes packed;
    EXPECT_TRUE(encodeLzmaEntry(data, packed));
    return packed;
}

// Every kind of stream a package can be: sound ones of both layouts (one
// whose 64 KB dictionary wraps many times), damaged, cut short, without a
// whole header, with a dictionary above the limit, empty.
struct StreamCase {
    const char* name;
    Bytes stream;
    SinkPlan plan;
};

std::vector<StreamCase> streamCases()
{
    std::vector<StreamCase> cases;
    const Bytes text = test::sampleData(700000, 3);
    Bytes mixed = test::sampleData(300000, 4);
    std::mt19937 random(9);
    for (int i = 0; i < 200000; ++i)
        mixed.push_back(static_cast<std::uint8_t>(random()));
    cases.push_back({"sound, exact size", coded(text), {}});
    cases.push_back({"sound, end mark, wrapping dictionary", test::lzmaByXz(mixed, "64KiB"), {}});
    Bytes damaged = coded(mixed);
    for (std::size_t at = damaged.size() / 3; at < damaged.size() / 3 + 64; ++at)
        damaged[at] ^= 0x5A;
    cases.push_back({"damaged", damaged, {}});
    Bytes cut = coded(text);
    cut.resize(cut.size() / 2);
    cases.push_back({"cut short", cut, {}});
    cases.push_back({"no whole header", Bytes(cut.begin(), cut.begin() + 7), {}});
    Bytes hugeDictionary = coded(test::sampleData(1000, 5));
    hugeDictionary[4] = 0x10;  // 256 MiB
    cases.push_back({"dictionary above the limit", hugeDictionary, {}});
    cases.push_back({"empty", coded(Bytes()), {}});
    cases.push_back({"refused at the third write", coded(text), {3, 0, nullptr}});
    cases.push_back({"a dictionary too small to keep pieces", test::lzmaByXz(mixed, "4KiB"), {}});
    return cases;
}

class LzmaDecodeAheadThreads : public ::testing::TestWithParam<LzmaDecodeAhead::Limits> {};

TEST_P(LzmaDecodeAheadThreads, ASinkSeesWhatADecodingOnItsOwnThreadShowsIt)
{
    const std::vector<StreamCase> cases = streamCases();
    std::vector<Bytes> streams;
    for (const StreamCase& item : cases)
        streams.push_back(item.stream);
    LzmaDecodeAhead ahead(openersOf(streams), GetParam());
    for (std::size_t index = 0; index < cases.size(); ++index) {
        SCOPED_TRACE(cases[index].name);
        const Outcome here = decodeHere(cases[index].stream, cases[index].plan);
        const std::optional<Outcome> taken = takeFrom(ahead, index, cases[index].plan);
        ASSERT_TRUE(taken.has_value());
        EXPECT_EQ(taken->decoded, here.decoded);
        EXPECT_EQ(taken->calls, here.calls);
        EXPECT_TRUE(taken->received == here.received);
    }
    // The cases are what they claim: the sound ones decode, the others do not.
    EXPECT_TRUE(decodeHere(cases[0].stream).decoded);
    EXPECT_TRUE(decodeHere(cases[1].stream).decoded);
    for (std::size_t index = 2; index < cases.size(); ++index)
        EXPECT_EQ(decodeHere(cases[index].stream, cases[index].plan).decoded, index == 6 || index == 8)
            << cases[index].name;
}

}  // namespace

// Test names and failures show the limits as words, not as raw bytes.
void PrintTo(const LzmaDecodeAhead::Limits& limits, std::ostream* out)
{
    *out << limits.threads << " decoders, " << limits.bufferBytes << " bytes in chunks of " << limits.chunkBytes;
}

namespace {

LzmaDecodeAhead::Limits limits(unsigned threads, std::size_t bufferBytes, std::size_t chunkBytes)
{
    LzmaDecodeAhead::Limits value;
    value.threads = threads;
    value.bufferBytes = bufferBytes;
    value.chunkBytes = chunkBytes;
    return value;
}

INSTANTIATE_TEST_SUITE_P(Buffers, LzmaDecodeAheadThreads,
                         ::testing::Values(limits(4, kDecodeAheadBufferBytes, kDecodeAheadChunkBytes),
                                           limits(3, 8 * 4096, 4096), limits(8, 0, 4096)),
                         [](const ::testing::TestParamInfo<LzmaDecodeAhead::Limits>& info) {
                             return std::to_string(info.param.threads) + "Decoders" +
                                    std::to_string(info.param.bufferBytes / info.param.chunkBytes) + "Chunks";
                         });

// Decoders that run far ahead of the taker, their dictionaries (64 KB) far
// smaller than their streams, copy no more out of them than the buffer bytes
// and the stream being taken allow.
TEST(LzmaDecodeAheadBoundThreads, TheBuffersStayWithinTheirBound)
{
    std::vector<Bytes> streams;
    for (unsigned seed = 1; seed <= 4; ++seed)
        streams.push_back(test::lzmaByXz(test::sampleData(1500000, seed), "64KiB"));
    LzmaDecodeAhead::Limits bound = limits(4, 16 * 4096, 4096);
    bound.headChunks = 2;
    LzmaDecodeAhead ahead(openersOf(streams), bound);
    EXPECT_EQ(ahead.threadCount(), 4u);
    for (std::size_t index = 0; index < streams.size(); ++index) {
        const std::optional<Outcome> taken = takeFrom(ahead, index);
        ASSERT_TRUE(taken.has_value());
        EXPECT_TRUE(taken->decoded);
        EXPECT_EQ(taken->received.size(), 1500000u);
    }
    EXPECT_LE(ahead.peakChunks(), 18u);
    // The streams did not fit in their dictionaries: pieces were copied out.
    EXPECT_GE(ahead.peakChunks(), 2u);
}

// The decoded length written into the header of a stream that xz made with
// an end mark, as the archive's packages carry it.
Bytes withKnownSize(Bytes stream, std::uint64_t size)
{
    for (int byte = 0; byte < 8; ++byte)
        stream[5 + byte] = static_cast<std::uint8_t>(size >> (8 * byte));
    return stream;
}

// While the taker writes the first stream, the room beyond the decoders'
// dictionaries goes to the streams in the order they will be taken: the
// next one decodes ahead all but what it can still decode while the taker
// writes it; a later one waits for room, and catches up once the taker has
// moved on.
TEST(LzmaDecodeAheadRoomThreads, TheStreamTakenNextGetsTheRoomFirst)
{
    std::vector<Bytes> data;
    std::vector<Bytes> streams;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        // The first fits its dictionary: it takes none of the pool.
        data.push_back(test::sampleData(seed == 1 ? 20000 : 300000, seed));
        streams.push_back(withKnownSize(test::lzmaByXz(data.back(), "32KiB"), data.back().size()));
    }
    ASSERT_TRUE(decodeHere(streams[1]).decoded);
    LzmaDecodeAhead ahead(openersOf(streams), limits(3, 400000, 4096));
    // Left to themselves, the two would share the pool and each stop near
    // the middle.
    bool nextDecodedAhead = false;
    SinkPlan hold{0, 1, [&] {
                      for (int look = 0; look < 20000 && !nextDecodedAhead; ++look) {
                          nextDecodedAhead = ahead.decodedAhead(1) >= data[1].size() - data[1].size() / 8;
                          std::this_thread::sleep_for(std::chrono::milliseconds(1));
                      }
                  }};
    for (std::size_t index = 0; index < streams.size(); ++index) {
        const std::optional<Outcome> taken = takeFrom(ahead, index, index == 0 ? hold : SinkPlan{});
        ASSERT_TRUE(taken.has_value());
        EXPECT_TRUE(taken->decoded);
        EXPECT_TRUE(taken->received == data[index]);
    }
    EXPECT_TRUE(nextDecodedAhead);
}

// A stream is taken once and in order: those before one taken are dropped,
// one taken already or not opened is left to the caller, and the streams
// after go on.
TEST(LzmaDecodeAheadOrderThreads, StreamsSkippedTakenTwiceOrNotOpenedAreLeftToTheCaller)
{
    const Bytes one = coded(test::sampleData(200000, 1));
    const Bytes two = coded(test::sampleData(200000, 2));
    std::vector<EntryInputOpener> openers = {openerOf(one), openerOf(two), openerOf(one),
                                             [] { return std::unique_ptr<EntryInput>(); }, openerOf(two),
                                             EntryInputOpener()};
    LzmaDecodeAhead ahead(std::move(openers), limits(2, 64 * 4096, 4096));
    const std::optional<Outcome> third = takeFrom(ahead, 2);
    ASSERT_TRUE(third.has_value());
    EXPECT_TRUE(*third == decodeHere(one));
    EXPECT_FALSE(takeFrom(ahead, 0).has_value());
    EXPECT_FALSE(takeFrom(ahead, 1).has_value());
    EXPECT_FALSE(takeFrom(ahead, 2).has_value());
    EXPECT_FALSE(takeFrom(ahead, 3).has_value());
    const std::optional<Outcome> fifth = takeFrom(ahead, 4);
    ASSERT_TRUE(fifth.has_value());
    EXPECT_TRUE(*fifth == decodeHere(two));
    EXPECT_FALSE(takeFrom(ahead, 5).has_value());
    EXPECT_FALSE(takeFrom(ahead, 6).has_value());
}

// A stop (a canceled run) ends the decoders; a stream being taken is still
// served until its taker lets go, and one not taken yet is replayed whole
// or left to the caller, never in part.
TEST(LzmaDecodeAheadStopThreads, AStopNeverCutsAStreamThatIsTaken)
{
    std::vector<Bytes> streams;
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const Bytes data = test::sampleData(900000, seed);
        streams.push_back(seed % 2 == 0 ? coded(data) : test::lzmaByXz(data, "64KiB"));
    }
    for (const std::size_t buffer : {std::size_t{4 * 4096}, kDecodeAheadBufferBytes}) {
        SCOPED_TRACE(buffer);
        LzmaDecodeAhead ahead(openersOf(streams), limits(4, buffer, 4096));
        SinkPlan plan{40, 10, [&] { ahead.stop(); }};
        const std::optional<Outcome> first = takeFrom(ahead, 0, plan);
        ASSERT_TRUE(first.has_value());
        EXPECT_TRUE(*first == decodeHere(streams[0], SinkPlan{40, 0, nullptr}));
        for (std::size_t index = 1; index < streams.size(); ++index) {
            const std::optional<Outcome> later = takeFrom(ahead, index);
            if (later) {
                EXPECT_TRUE(*later == decodeHere(streams[index])) << index;
            }
        }
    }
    // Stopped before anything was taken, and destroyed while decoding.
    {
        LzmaDecodeAhead ahead(openersOf(streams), limits(4, 4 * 4096, 4096));
        ahead.stop();
        for (std::size_t index = 0; index < streams.size(); ++index) {
            const std::optional<Outcome> taken = takeFrom(ahead, index);
            if (taken) {
                EXPECT_TRUE(*taken == decodeHere(streams[index])) << index;
            }
        }
    }
    LzmaDecodeAhead dropped(openersOf(streams), limits(4, 4 * 4096, 4096));
}

// A pause from another thread while a stream is taken, and a resume: the
// taker waits for the decoders meanwhile and then gets every piece.
TEST(LzmaDecodeAheadPauseThreads, APausedRunResumesWithEveryPiece)
{
    std::vector<Bytes> streams;
    for (unsigned seed = 1; seed <= 3; ++seed)
        streams.push_back(test::lzmaByXz(test::sampleData(900000, seed), "64KiB"));
    LzmaDecodeAhead ahead(openersOf(streams), limits(3, 8 * 4096, 4096));
    std::mutex mutex;
    std::condition_variable changed;
    bool paused = false;
    std::thread resumer([&] {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return paused; });
        ahead.resume();
    });
    SinkPlan plan{0, 3, [&] {
                      ahead.pause();
                      std::lock_guard lock(mutex);
                      paused = true;
                      changed.notify_all();
                  }};
    const std::optional<Outcome> first = takeFrom(ahead, 0, plan);
    resumer.join();
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(*first == decodeHere(streams[0]));
    ahead.pause();
    ahead.resume();
    for (std::size_t index = 1; index < streams.size(); ++index) {
        const std::optional<Outcome> taken = takeFrom(ahead, index);
        ASSERT_TRUE(taken.has_value());
        EXPECT_TRUE(*taken == decodeHere(streams[index]));
    }
}

}  // namespace
}  // namespace druvex
