// LzmaDecodeAhead: decodes the LZMA streams that a run is going to unpack on
// worker threads, in the order the run will take them, while the run's own
// thread still writes out earlier ones. The run's thread then takes a stream
// as a replay: its sink gets exactly the calls that decodeLzmaEntry on that
// thread would have made (the same pieces, the same sizes, the same end), so
// only the decoding moves to other cores and everything the sink does stays
// as it was.
//
// Memory stays bounded whatever the streams' sizes: a decoded piece waits in
// its decoder's dictionary (which the decoder holds anyway) until the taker
// has written it; a decoder that runs so far ahead that it would overwrite a
// waiting piece first copies the oldest waiting pieces into a pool of
// buffers shared by all decoders, and waits when that pool is full.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "core/thread_utils.h"
#include "payload/entry_decoder.h"
#include "text/mutex.h"

namespace druvex {

class PayloadSink;

// The decoded bytes copied out of the decoders' dictionaries at most, all
// decoders together.
constexpr std::size_t kDecodeAheadBufferBytes = 48u << 20;
constexpr std::size_t kDecodeAheadChunkBytes = 256u << 10;

class LzmaDecodeAhead {
public:
    struct Limits {
        // Decoders at once; never more than one a stream.
        unsigned threads = 1;
        // The pool, in chunks of chunkBytes (at least one LZMA piece, 4 KB).
        std::size_t bufferBytes = kDecodeAheadBufferBytes;
        std::size_t chunkBytes = kDecodeAheadChunkBytes;
        // Chunks the stream being taken (or next to be) may always have
        // beyond the pool, so that it never waits for streams after it.
        std::size_t headChunks = 2;
    };

    // Starts decoding the streams, which the openers open on the workers.
    LzmaDecodeAhead(std::vector<EntryInputOpener> streams, const Limits& limits);
    // Stops every decoder and waits for them.
    ~LzmaDecodeAhead();
    LzmaDecodeAhead(const LzmaDecodeAhead&) = delete;
    LzmaDecodeAhead& operator=(const LzmaDecodeAhead&) = delete;

    // Feeds the sink with stream `index` as decodeLzmaEntry would and answers
    // as it would. The streams before it that were not taken are dropped. A
    // stream that failed its sink or did not decode holds the other decoders
    // until the next take. Empty when the stream cannot be replayed (its
    // input did not open, it was taken before, or the decoders were stopped
    // before it began): the caller then decodes it itself.
    std::optional<bool> take(std::size_t index, PayloadSink& sink);

    // Every decoder waits at its next piece until resume.
    void pause();
    void resume();
    // Every decoder ends at its next piece, except that of a stream being
    // taken, which serves its taker until the taker lets go of it.
    void stop();

    // The most chunks that were in use at once.
    std::size_t peakChunks() const;
    // The bytes of stream `index` that its decoder has decoded ahead so far.
    std::uint64_t decodedAhead(std::size_t index) const;
    std::size_t threadCount() const { return workers_.size(); }

private:
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t used = 0;
        // Its pieces not yet let go by the taker, and one more while its
        // decoder still copies into it.
        std::size_t users = 0;
    };
    // A decoded piece: in its decoder's dictionary (no chunk) or copied out.
    struct Held : LzmaPiece {
        // Where its first byte lies in the stream's output.
        std::uint64_t offset = 0;
        Chunk* chunk = nullptr;
    };
    enum class Start { Pending, NotOpened, HeaderFailed, PrepareFailed, Decoding };
    struct Stream {
        EntryInputOpener opener;
        // Guarded by mutex_.
        Start start = Start::Pending;
        std::uint64_t size = 0;
        bool started = false;
        bool taken = false;
        bool decoderDone = false;
        // Its decoder was stopped before its end, before anyone took it.
        bool interrupted = false;
        // Pieces waiting for the taker, oldest first: those copied out, then
        // those still in the dictionary.
        std::deque<Held> copied;
        std::deque<Held> inDictionary;
        // The oldest piece in the dictionary among those the taker took and
        // has not let go of yet.
        std::optional<std::uint64_t> takerHolds;
        // The chunk its decoder copies into.
        Chunk* filling = nullptr;
        // What its decoder handed over so far, and the pieces its dictionary
        // can hold (0 until it is known).
        std::uint64_t handed = 0;
        std::size_t dictionaryBytes = 0;
        // While its decoder waits for the taker to let go of pieces in the
        // dictionary: the offset the oldest wanted byte must reach.
        std::optional<std::uint64_t> decoderWaitsFor;
        // The oldest output byte still wanted from the dictionary (kNothing
        // when none), kept under the lock and read by its decoder without.
        std::atomic<std::uint64_t> oldestWanted{~std::uint64_t{0}};
        // Nobody wants its pieces any more (dropped, or its take ended);
        // read by its decoder at every piece.
        std::atomic<bool> released{false};
    };
    class Replay;

    void work();
    void decode(std::size_t index);
    // Whether the decoder of the stream goes on; waits while paused or held.
    bool mayContinue(std::size_t index);
    bool mayContinueLocked(std::size_t index) REQUIRES(mutex_);
    // Room in the dictionary for the next piece at `produced`, the pieces
    // not yet handed over counted too: pieces that would be overwritten are
    // copied out, or the decoder waits for the taker. With `everything`,
    // until no piece is left in it (before the dictionary goes). False when
    // the decoder is to stop.
    bool makeRoom(std::size_t index, std::uint64_t produced, std::size_t dictionaryBytes, std::vector<Held>& unhanded,
                  bool everything);
    // Hands the decoder's pieces over to the taker; under the lock.
    void handOver(Stream& stream, std::vector<Held>& pieces) REQUIRES(mutex_);
    // Copies the piece into the stream's chunk; false when no chunk may be
    // had now (or, waiting, when the decoder is to stop).
    bool copyOut(std::size_t index, Held& piece, bool wait) REQUIRES(mutex_);
    // Sets the stream's oldest wanted byte after a change, and wakes its
    // decoder when that gives it the room it waits for; under the lock.
    void updateOldest(Stream& stream) REQUIRES(mutex_);
    Chunk* tryAcquire(std::size_t index) REQUIRES(mutex_);
    // The chunks kept free for the streams between the head and `index`:
    // what their decoders will still have to copy out before the taker
    // reaches them.
    std::size_t chunksKeptForEarlier(std::size_t index) const REQUIRES(mutex_);
    void dropChunkUser(Chunk* chunk) REQUIRES(mutex_);
    // Drops a stream's waiting pieces; under the lock.
    void releaseStream(Stream& stream) REQUIRES(mutex_);
    void setAttention() REQUIRES(mutex_);

    const Limits limits_;
    const std::size_t bufferChunks_;
    std::vector<std::unique_ptr<Stream>> streams_;

    mutable Mutex mutex_;
    ConditionVariable workersWake_;
    ConditionVariable takerWake_;
    std::size_t nextStart_ GUARDED_BY(mutex_) = 0;
    std::size_t head_ GUARDED_BY(mutex_) = 0;
    std::size_t chunksInUse_ GUARDED_BY(mutex_) = 0;
    std::size_t peakChunks_ GUARDED_BY(mutex_) = 0;
    std::vector<std::unique_ptr<Chunk>> chunks_ GUARDED_BY(mutex_);
    std::vector<Chunk*> freeChunks_ GUARDED_BY(mutex_);
    bool paused_ GUARDED_BY(mutex_) = false;
    bool held_ GUARDED_BY(mutex_) = false;
    bool stopped_ GUARDED_BY(mutex_) = false;
    bool takerWaiting_ GUARDED_BY(mutex_) = false;
    // Set while any of the three is, so that a decoder looks at one word a piece.
    std::atomic<bool> attention_{false};

    std::vector<WorkerThread> workers_;
};

}  // namespace druvex
