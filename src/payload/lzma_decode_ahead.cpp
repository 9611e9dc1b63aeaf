#include "payload/lzma_decode_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "payload/payload_sink.h"

namespace druvex {
namespace {

constexpr std::size_t kLargestPiece = 4096;
// The result of a stream whose decoder ended before its last piece: the
// SDK's general failure.
constexpr int kInterrupted = 11;
constexpr std::uint64_t kNothing = ~std::uint64_t{0};
// A smaller dictionary keeps no pieces: the taker's piece and the decoder's
// next one must fit in it side by side with room to spare.
constexpr std::size_t kSmallestKeepingDictionary = 4 * kLargestPiece;
// Pieces handed over at once (the decoder's, the taker's), so that the two
// meet at the lock once for many pieces.
constexpr std::size_t kBatchPieces = 64;
constexpr std::size_t kHandOverBytes = 64 * 1024;
// While a decoder decodes a byte, the taker writes about this many: LZMA
// decodes tens of megabytes a second, files are written at hundreds.
constexpr std::uint64_t kTakenPerDecoded = 16;

}  // namespace

// The taker's side of one stream: its pieces one after another, taken in
// batches, each batch let go (its dictionary room and chunks given back)
// when the next is taken.
class LzmaDecodeAhead::Replay final : public LzmaPieceSource {
public:
    Replay(LzmaDecodeAhead& owner, Stream& stream) : owner_(owner), stream_(stream) {}
    ~Replay() override { letGo(); }
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    bool readHeader(std::uint64_t& size) override
    {
        size = stream_.size;
        return stream_.start != Start::HeaderFailed;
    }
    bool prepare() override { return stream_.start == Start::Decoding; }

    LzmaPiece next() override
    {
        if (position_ == batch_.size() && !refill()) {
            LzmaPiece interrupted;
            interrupted.last = true;
            interrupted.result = kInterrupted;
            return interrupted;
        }
        return batch_[position_++];
    }

    void letGo()
    {
        MutexLock lock(owner_.mutex_);
        release();
    }

private:
    // The next pieces the decoder handed over; false when its decoder ended
    // without any more.
    bool refill()
    {
        MutexLock lock(owner_.mutex_);
        release();
        while (stream_.copied.empty() && stream_.inDictionary.empty() && !stream_.decoderDone) {
            owner_.takerWaiting_ = true;
            owner_.takerWake_.wait(owner_.mutex_);
        }
        owner_.takerWaiting_ = false;
        for (std::deque<Held>* from : {&stream_.copied, &stream_.inDictionary}) {
            while (!from->empty() && batch_.size() < kBatchPieces) {
                batch_.push_back(from->front());
                from->pop_front();
                if (!batch_.back().chunk && !stream_.takerHolds)
                    stream_.takerHolds = batch_.back().offset;
            }
        }
        position_ = 0;
        return !batch_.empty();
    }

    void release() REQUIRES(owner_.mutex_)
    {
        for (const Held& piece : batch_) {
            if (piece.chunk)
                owner_.dropChunkUser(piece.chunk);
        }
        batch_.clear();
        position_ = 0;
        if (stream_.takerHolds) {
            stream_.takerHolds.reset();
            owner_.updateOldest(stream_);
        }
    }

    LzmaDecodeAhead& owner_;
    Stream& stream_;
    std::vector<Held> batch_;
    std::size_t position_ = 0;
};

LzmaDecodeAhead::LzmaDecodeAhead(std::vector<EntryInputOpener> streams, const Limits& limits)
    : limits_{limits.threads, limits.bufferBytes, std::max(limits.chunkBytes, kLargestPiece),
              std::max<std::size_t>(limits.headChunks, 1)},
      bufferChunks_(limits.bufferBytes / std::max(limits.chunkBytes, kLargestPiece))
{
    for (EntryInputOpener& opener : streams) {
        auto stream = std::make_unique<Stream>();
        stream->opener = std::move(opener);
        streams_.push_back(std::move(stream));
    }
    const std::size_t count = std::min<std::size_t>(std::max(limits.threads, 1u), streams_.size());
    for (std::size_t i = 0; i < count; ++i) {
        WorkerThread worker([this] { work(); });
        workers_.push_back(std::move(worker));
    }
}

LzmaDecodeAhead::~LzmaDecodeAhead()
{
    {
        MutexLock lock(mutex_);
        stopped_ = true;
        for (const std::unique_ptr<Stream>& stream : streams_)
            releaseStream(*stream);
        setAttention();
    }
    workersWake_.notify_all();
    for (WorkerThread& worker : workers_)
        worker.join();
}

void LzmaDecodeAhead::setAttention()
{
    attention_.store(paused_ || held_ || stopped_);
}

void LzmaDecodeAhead::pause()
{
    MutexLock lock(mutex_);
    paused_ = true;
    setAttention();
}

void LzmaDecodeAhead::resume()
{
    {
        MutexLock lock(mutex_);
        paused_ = false;
        setAttention();
    }
    workersWake_.notify_all();
}

void LzmaDecodeAhead::stop()
{
    {
        MutexLock lock(mutex_);
        stopped_ = true;
        setAttention();
    }
    workersWake_.notify_all();
    takerWake_.notify_all();
}

std::size_t LzmaDecodeAhead::peakChunks() const
{
    MutexLock lock(mutex_);
    return peakChunks_;
}

std::uint64_t LzmaDecodeAhead::decodedAhead(std::size_t index) const
{
    MutexLock lock(mutex_);
    return index < streams_.size() ? streams_[index]->handed : 0;
}

std::optional<bool> LzmaDecodeAhead::take(std::size_t index, PayloadSink& sink)
{
    if (index >= streams_.size())
        return std::nullopt;
    Stream& stream = *streams_[index];
    {
        MutexLock lock(mutex_);
        if (stream.taken || stream.released.load())
            return std::nullopt;
        stream.taken = true;
        for (std::size_t before = head_; before < index; ++before)
            releaseStream(*streams_[before]);
        head_ = std::max(head_, index);
        held_ = false;
        setAttention();
        workersWake_.notify_all();
        takerWake_.wait(mutex_, [&]() REQUIRES(mutex_) { return stream.start != Start::Pending || (stopped_ && !stream.started); });
        if (stream.start == Start::Pending || stream.start == Start::NotOpened || stream.interrupted) {
            // Nothing to replay: it never began, did not open or was cut
            // short by a stop before it was taken.
            releaseStream(stream);
            head_ = index + 1;
            return std::nullopt;
        }
    }
    bool decoded = false;
    {
        Replay replay(*this, stream);
        decoded = feedLzmaPieces(replay, sink);
    }
    {
        MutexLock lock(mutex_);
        releaseStream(stream);
        head_ = index + 1;
        // A failure stops the decoders until the run has decided how to go on.
        held_ = !decoded;
        setAttention();
    }
    workersWake_.notify_all();
    return decoded;
}

void LzmaDecodeAhead::releaseStream(Stream& stream)
{
    stream.released.store(true);
    for (const Held& piece : stream.copied)
        dropChunkUser(piece.chunk);
    stream.copied.clear();
    stream.inDictionary.clear();
    updateOldest(stream);
}

void LzmaDecodeAhead::updateOldest(Stream& stream)
{
    std::uint64_t oldest = kNothing;
    if (stream.takerHolds)
        oldest = *stream.takerHolds;
    else if (!stream.inDictionary.empty())
        oldest = stream.inDictionary.front().offset;
    stream.oldestWanted.store(oldest);
    if (stream.decoderWaitsFor && (oldest == kNothing || oldest >= *stream.decoderWaitsFor)) {
        stream.decoderWaitsFor.reset();
        workersWake_.notify_all();
    }
}

std::size_t LzmaDecodeAhead::chunksKeptForEarlier(std::size_t index) const
{
    std::size_t kept = 0;
    std::uint64_t takenBefore = 0;
    for (std::size_t earlier = head_ + 1; earlier < index; ++earlier) {
        const Stream& stream = *streams_[earlier];
        // One whose decoder is reading its header may need it all, for a moment.
        if (stream.started && stream.start == Start::Pending)
            return bufferChunks_;
        if (stream.start != Start::Decoding || stream.size == kPayloadUnknownSize)
            continue;
        takenBefore += stream.size;
        if (stream.decoderDone || stream.released.load())
            continue;
        // Its first dictionary's worth waits in the dictionary; what it
        // decodes beyond that is copied out unless the taker comes first,
        // except what it can still decode while the taker writes the
        // streams up to its end.
        const std::uint64_t waitsInDictionary = std::max<std::uint64_t>(stream.handed, stream.dictionaryBytes);
        const std::uint64_t later = takenBefore / kTakenPerDecoded;
        if (stream.size > waitsInDictionary + later)
            kept += static_cast<std::size_t>((stream.size - waitsInDictionary - later + limits_.chunkBytes - 1) /
                                             limits_.chunkBytes);
    }
    return kept;
}

LzmaDecodeAhead::Chunk* LzmaDecodeAhead::tryAcquire(std::size_t index)
{
    // Room goes to the streams in the order the taker needs them: what a
    // stream cannot decode ahead is decoded once the taker reaches it, and
    // while it takes the next one little else is left to write, whereas a
    // later one decodes its rest while the streams before it are written.
    const bool room = index == head_ ? chunksInUse_ < bufferChunks_ + limits_.headChunks
                                     : chunksInUse_ + chunksKeptForEarlier(index) < bufferChunks_;
    if (!room)
        return nullptr;
    ++chunksInUse_;
    peakChunks_ = std::max(peakChunks_, chunksInUse_);
    if (!freeChunks_.empty()) {
        Chunk* chunk = freeChunks_.back();
        freeChunks_.pop_back();
        return chunk;
    }
    auto chunk = std::make_unique<Chunk>();
    chunk->bytes.reset(new std::uint8_t[limits_.chunkBytes]);
    chunks_.push_back(std::move(chunk));
    return chunks_.back().get();
}

void LzmaDecodeAhead::dropChunkUser(Chunk* chunk)
{
    if (--chunk->users > 0)
        return;
    chunk->used = 0;
    freeChunks_.push_back(chunk);
    --chunksInUse_;
    workersWake_.notify_all();
}

bool LzmaDecodeAhead::copyOut(std::size_t index, Held& piece, bool wait)
{
    Stream& stream = *streams_[index];
    if (stream.filling && stream.filling->used + piece.size > limits_.chunkBytes)
        dropChunkUser(std::exchange(stream.filling, nullptr));
    while (!stream.filling) {
        if (Chunk* chunk = tryAcquire(index)) {
            chunk->users = 1;
            stream.filling = chunk;
            break;
        }
        if (!wait)
            return false;
        workersWake_.wait(mutex_);
        if (!mayContinueLocked(index))
            return false;
    }
    Chunk& chunk = *stream.filling;
    if (piece.size > 0)
        std::memcpy(chunk.bytes.get() + chunk.used, piece.data, piece.size);
    piece.data = chunk.bytes.get() + chunk.used;
    piece.chunk = &chunk;
    chunk.used += piece.size;
    ++chunk.users;
    return true;
}

void LzmaDecodeAhead::work()
{
    for (;;) {
        std::size_t index = 0;
        {
            MutexLock lock(mutex_);
            for (;;) {
                while (nextStart_ < streams_.size() && streams_[nextStart_]->released.load())
                    ++nextStart_;
                if (nextStart_ == streams_.size())
                    return;
                Stream& next = *streams_[nextStart_];
                // Stopped decoders still serve a stream that is being taken.
                if (stopped_ && !next.taken)
                    return;
                if (!(paused_ || held_) || (stopped_ && next.taken))
                    break;
                workersWake_.wait(mutex_);
            }
            index = nextStart_++;
            streams_[index]->started = true;
        }
        decode(index);
    }
}

void LzmaDecodeAhead::decode(std::size_t index)
{
    Stream& stream = *streams_[index];
    std::unique_ptr<EntryInput> input = stream.opener ? stream.opener() : nullptr;
    std::optional<LzmaStreamDecoder> decoder;
    Start start = Start::NotOpened;
    std::uint64_t size = 0;
    if (input) {
        decoder.emplace(*input);
        start = !decoder->readHeader(size) ? Start::HeaderFailed
                                           : (!decoder->prepare() ? Start::PrepareFailed : Start::Decoding);
    }
    // Pieces wait in the dictionary unless it is too small to keep them.
    const std::size_t dictionary = start == Start::Decoding && decoder->dictionaryBytes() >= kSmallestKeepingDictionary
                                       ? decoder->dictionaryBytes()
                                       : 0;
    {
        MutexLock lock(mutex_);
        stream.start = start;
        stream.size = size;
        stream.dictionaryBytes = dictionary;
        stream.decoderDone = start != Start::Decoding;
    }
    takerWake_.notify_all();
    // Decoders of later streams may wait to learn what this one needs.
    workersWake_.notify_all();
    if (start != Start::Decoding)
        return;

    const std::size_t handOverBytes = std::min(kHandOverBytes, dictionary / 4);
    std::vector<Held> unhanded;
    std::size_t unhandedBytes = 0;
    std::uint64_t produced = 0;
    while (makeRoom(index, produced, dictionary, unhanded, false)) {
        Held held{decoder->next()};
        held.offset = produced;
        produced += held.size;
        if (dictionary > 0) {
            unhanded.push_back(held);
            unhandedBytes += held.size;
            if (unhandedBytes < handOverBytes && !held.last)
                continue;
        }
        {
            MutexLock lock(mutex_);
            if (stream.released.load())
                break;
            // The next piece overwrites this one in a dictionary too small.
            if (dictionary == 0) {
                if (!copyOut(index, held, true))
                    break;
                unhanded.push_back(held);
            }
            handOver(stream, unhanded);
            unhandedBytes = 0;
        }
        if (held.last)
            break;
    }
    // The dictionary goes once no piece in it is wanted any more.
    if (dictionary > 0)
        makeRoom(index, produced, dictionary, unhanded, true);
    {
        MutexLock lock(mutex_);
        if (stream.filling)
            dropChunkUser(std::exchange(stream.filling, nullptr));
        // Cut short: nobody may replay what points into the dictionary.
        if (!stream.inDictionary.empty() || !unhanded.empty()) {
            stream.inDictionary.clear();
            stream.interrupted = !stream.taken;
            updateOldest(stream);
        }
    }
    decoder.reset();
    input.reset();
    {
        MutexLock lock(mutex_);
        stream.decoderDone = true;
    }
    takerWake_.notify_all();
    // The room it kept from later streams is theirs now.
    workersWake_.notify_all();
}

void LzmaDecodeAhead::handOver(Stream& stream, std::vector<Held>& pieces)
{
    if (pieces.empty())
        return;
    for (const Held& piece : pieces) {
        (piece.chunk ? stream.copied : stream.inDictionary).push_back(piece);
        stream.handed += piece.size;
    }
    pieces.clear();
    updateOldest(stream);
    if (takerWaiting_)
        takerWake_.notify_all();
}

bool LzmaDecodeAhead::makeRoom(std::size_t index, std::uint64_t produced, std::size_t dictionary,
                               std::vector<Held>& unhanded, bool everything)
{
    Stream& stream = *streams_[index];
    const auto fits = [&](std::uint64_t oldest) {
        if (!unhanded.empty())
            oldest = std::min(oldest, unhanded.front().offset);
        return oldest == kNothing || (!everything && produced + kLargestPiece - oldest <= dictionary);
    };
    if (dictionary == 0)
        return mayContinue(index);
    if (!attention_.load(std::memory_order_relaxed) && !stream.released.load(std::memory_order_relaxed) &&
        fits(stream.oldestWanted.load()))
        return true;
    MutexLock lock(mutex_);
    for (;;) {
        if (!mayContinueLocked(index))
            return false;
        // Whatever it waits for, the taker has all it decoded so far.
        handOver(stream, unhanded);
        if (fits(stream.oldestWanted.load()))
            return true;
        // The oldest pieces in the way are copied out, a chunk's worth,
        // unless the taker holds the oldest now.
        std::size_t moved = 0;
        if (!stream.takerHolds) {
            while (!stream.inDictionary.empty() && moved < limits_.chunkBytes) {
                Held piece = stream.inDictionary.front();
                if (!copyOut(index, piece, false))
                    break;
                stream.inDictionary.pop_front();
                stream.copied.push_back(piece);
                moved += piece.size + 1;
            }
        }
        if (moved > 0) {
            updateOldest(stream);
            continue;
        }
        // Else the taker's progress or a chunk given back lets it on; it is
        // woken once a quarter of the dictionary is free.
        stream.decoderWaitsFor = everything ? kNothing : produced + kLargestPiece + dictionary / 4 - dictionary;
        workersWake_.wait(mutex_);
    }
}

bool LzmaDecodeAhead::mayContinue(std::size_t index)
{
    if (!attention_.load(std::memory_order_relaxed) && !streams_[index]->released.load(std::memory_order_relaxed))
        return true;
    MutexLock lock(mutex_);
    return mayContinueLocked(index);
}

bool LzmaDecodeAhead::mayContinueLocked(std::size_t index)
{
    Stream& stream = *streams_[index];
    for (;;) {
        if (stream.released.load())
            return false;
        if (stopped_) {
            // Decided under the lock, so that a take either sees the stream
            // cut short or keeps its decoder going to the end.
            stream.interrupted = !stream.taken;
            return stream.taken;
        }
        if (!paused_ && !held_)
            return true;
        workersWake_.wait(mutex_);
    }
}

}  // namespace druvex
