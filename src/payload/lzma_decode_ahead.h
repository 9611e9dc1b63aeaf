// LzmaDecodeAhead: decodes the LZMA streams that a run is going to unpack on
// worker threads, in the order the run will take them, while the run's own
// thread still writes out earlier ones. Each decoder fills buffers of a
// common, bounded pool; the run's thread then takes a stream as a replay:
// its sink gets exactly the calls that decodeLzmaEntry on that thread would
// have made (the same pieces, the same sizes, the same end), so only the
// decoding moves to other cores and everything the sink does stays as it was.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/thread_utils.h"
#include "payload/entry_decoder.h"

namespace druvex {

class PayloadSink;

// The decoded bytes held at most, whatever the streams' sizes, beside each
// decoder's dictionary and input buffer.
constexpr std::size_t kDecodeAheadBufferBytes = 48u << 20;
constexpr std::size_t kDecodeAheadChunkBytes = 256u << 10;

class LzmaDecodeAhead {
public:
    struct Limits {
        // Decoders at once; never more than one a stream.
        unsigned threads = 1;
        // Decoded bytes waiting in buffers, all streams together, in chunks
        // of chunkBytes (at least one LZMA piece, 4 KB).
        std::size_t bufferBytes = kDecodeAheadBufferBytes;
        std::size_t chunkBytes = kDecodeAheadChunkBytes;
        // Chunks the stream being taken (or next to be) may always have
        // beyond the buffer bytes, so that it never waits for streams after
        // it to be taken.
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
    std::size_t threadCount() const { return workers_.size(); }

private:
    struct Piece {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        bool handed = false;
        bool last = false;
        int result = 0;
    };
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t used = 0;
        std::vector<Piece> pieces;
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
        std::deque<std::unique_ptr<Chunk>> ready;
        // Nobody wants its pieces any more (dropped, or its take ended);
        // read by its decoder at every piece.
        std::atomic<bool> released{false};
    };
    class Replay;

    void work();
    void decode(std::size_t index);
    // Whether the decoder of the stream goes on; waits while paused or held.
    bool mayContinue(std::size_t index);
    bool mayContinueLocked(std::size_t index, std::unique_lock<std::mutex>& lock);
    // A chunk for the stream's decoder, when its buffers allow; null when it
    // is to stop.
    std::unique_ptr<Chunk> acquire(std::size_t index);
    void publish(std::size_t index, std::unique_ptr<Chunk> chunk);
    void giveBack(std::unique_ptr<Chunk> chunk, std::unique_lock<std::mutex>& lock);
    // Drops a stream's waiting chunks; under the lock.
    void releaseStream(Stream& stream, std::unique_lock<std::mutex>& lock);
    void setAttention();

    const Limits limits_;
    const std::size_t bufferChunks_;
    std::vector<std::unique_ptr<Stream>> streams_;

    mutable std::mutex mutex_;
    std::condition_variable workersWake_;
    std::condition_variable takerWake_;
    std::size_t nextStart_ = 0;
    std::size_t head_ = 0;
    std::size_t chunksInUse_ = 0;
    std::size_t peakChunks_ = 0;
    std::vector<std::unique_ptr<Chunk>> freeChunks_;
    bool paused_ = false;
    bool held_ = false;
    bool stopped_ = false;
    // Set while any of the three is, so that a decoder looks at one word a piece.
    std::atomic<bool> attention_{false};

    std::vector<WorkerThread> workers_;
};

}  // namespace druvex
