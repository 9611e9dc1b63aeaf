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

}  // namespace

// The taker's side of one stream: the pieces its decoder left in the chunks,
// one after another, each chunk going back to the pool once replayed.
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
        while (!current_ || position_ == current_->pieces.size()) {
            std::unique_lock lock(owner_.mutex_);
            if (current_)
                owner_.giveBack(std::move(current_), lock);
            owner_.takerWake_.wait(lock, [&] { return !stream_.ready.empty() || stream_.decoderDone; });
            if (stream_.ready.empty()) {
                LzmaPiece interrupted;
                interrupted.last = true;
                interrupted.result = kInterrupted;
                return interrupted;
            }
            current_ = std::move(stream_.ready.front());
            stream_.ready.pop_front();
            position_ = 0;
        }
        const Piece& piece = current_->pieces[position_++];
        LzmaPiece out;
        out.data = current_->bytes.get() + piece.offset;
        out.size = piece.size;
        out.handed = piece.handed;
        out.last = piece.last;
        out.result = piece.result;
        return out;
    }

    void letGo()
    {
        if (!current_)
            return;
        std::unique_lock lock(owner_.mutex_);
        owner_.giveBack(std::move(current_), lock);
    }

private:
    LzmaDecodeAhead& owner_;
    Stream& stream_;
    std::unique_ptr<Chunk> current_;
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
        std::unique_lock lock(mutex_);
        stopped_ = true;
        for (const std::unique_ptr<Stream>& stream : streams_)
            releaseStream(*stream, lock);
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
    std::lock_guard lock(mutex_);
    paused_ = true;
    setAttention();
}

void LzmaDecodeAhead::resume()
{
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
        setAttention();
    }
    workersWake_.notify_all();
}

void LzmaDecodeAhead::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        setAttention();
    }
    workersWake_.notify_all();
    takerWake_.notify_all();
}

std::size_t LzmaDecodeAhead::peakChunks() const
{
    std::lock_guard lock(mutex_);
    return peakChunks_;
}

std::optional<bool> LzmaDecodeAhead::take(std::size_t index, PayloadSink& sink)
{
    if (index >= streams_.size())
        return std::nullopt;
    Stream& stream = *streams_[index];
    {
        std::unique_lock lock(mutex_);
        if (stream.taken || stream.released.load())
            return std::nullopt;
        stream.taken = true;
        for (std::size_t before = head_; before < index; ++before)
            releaseStream(*streams_[before], lock);
        head_ = std::max(head_, index);
        held_ = false;
        setAttention();
        workersWake_.notify_all();
        takerWake_.wait(lock, [&] { return stream.start != Start::Pending || (stopped_ && !stream.started); });
        if (stream.start == Start::Pending || stream.start == Start::NotOpened ||
            stream.interrupted) {
            // Nothing to replay: it never began, did not open or was cut
            // short by a stop before it was taken.
            releaseStream(stream, lock);
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
        std::unique_lock lock(mutex_);
        releaseStream(stream, lock);
        head_ = index + 1;
        // A failure stops the decoders until the run has decided how to go on.
        held_ = !decoded;
        setAttention();
    }
    workersWake_.notify_all();
    return decoded;
}

void LzmaDecodeAhead::releaseStream(Stream& stream, std::unique_lock<std::mutex>& lock)
{
    stream.released.store(true);
    while (!stream.ready.empty()) {
        std::unique_ptr<Chunk> chunk = std::move(stream.ready.front());
        stream.ready.pop_front();
        giveBack(std::move(chunk), lock);
    }
}

void LzmaDecodeAhead::giveBack(std::unique_ptr<Chunk> chunk, std::unique_lock<std::mutex>&)
{
    chunk->used = 0;
    chunk->pieces.clear();
    freeChunks_.push_back(std::move(chunk));
    --chunksInUse_;
    workersWake_.notify_all();
}

void LzmaDecodeAhead::work()
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex_);
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
                workersWake_.wait(lock);
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
    {
        std::lock_guard lock(mutex_);
        stream.start = start;
        stream.size = size;
        stream.decoderDone = start != Start::Decoding;
    }
    takerWake_.notify_all();
    if (start != Start::Decoding)
        return;

    std::unique_ptr<Chunk> chunk;
    while (mayContinue(index)) {
        const LzmaPiece piece = decoder->next();
        if (!chunk || chunk->used + piece.size > limits_.chunkBytes) {
            if (chunk)
                publish(index, std::move(chunk));
            chunk = acquire(index);
            if (!chunk)
                break;
        }
        Piece record;
        record.offset = static_cast<std::uint32_t>(chunk->used);
        record.size = piece.size;
        record.handed = piece.handed;
        record.last = piece.last;
        record.result = piece.result;
        if (piece.size > 0)
            std::memcpy(chunk->bytes.get() + chunk->used, piece.data, piece.size);
        chunk->used += piece.size;
        chunk->pieces.push_back(record);
        if (piece.last)
            break;
    }
    if (chunk && !chunk->pieces.empty()) {
        publish(index, std::move(chunk));
    } else if (chunk) {
        std::unique_lock lock(mutex_);
        giveBack(std::move(chunk), lock);
    }
    // The dictionary goes before the taker learns that the decoder is done.
    decoder.reset();
    input.reset();
    {
        std::lock_guard lock(mutex_);
        stream.decoderDone = true;
    }
    takerWake_.notify_all();
}

bool LzmaDecodeAhead::mayContinue(std::size_t index)
{
    if (!attention_.load(std::memory_order_relaxed) && !streams_[index]->released.load(std::memory_order_relaxed))
        return true;
    std::unique_lock lock(mutex_);
    return mayContinueLocked(index, lock);
}

bool LzmaDecodeAhead::mayContinueLocked(std::size_t index, std::unique_lock<std::mutex>& lock)
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
        workersWake_.wait(lock);
    }
}

std::unique_ptr<LzmaDecodeAhead::Chunk> LzmaDecodeAhead::acquire(std::size_t index)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!mayContinueLocked(index, lock))
            return nullptr;
        const bool room = chunksInUse_ < bufferChunks_ ||
                          (index == head_ && chunksInUse_ < bufferChunks_ + limits_.headChunks);
        if (room)
            break;
        workersWake_.wait(lock);
    }
    ++chunksInUse_;
    peakChunks_ = std::max(peakChunks_, chunksInUse_);
    if (!freeChunks_.empty()) {
        std::unique_ptr<Chunk> chunk = std::move(freeChunks_.back());
        freeChunks_.pop_back();
        return chunk;
    }
    auto chunk = std::make_unique<Chunk>();
    chunk->bytes.reset(new std::uint8_t[limits_.chunkBytes]);
    chunk->pieces.reserve(limits_.chunkBytes / kLargestPiece + 2);
    return chunk;
}

void LzmaDecodeAhead::publish(std::size_t index, std::unique_ptr<Chunk> chunk)
{
    Stream& stream = *streams_[index];
    {
        std::unique_lock lock(mutex_);
        if (stream.released.load()) {
            giveBack(std::move(chunk), lock);
            return;
        }
        stream.ready.push_back(std::move(chunk));
    }
    takerWake_.notify_all();
}

}  // namespace druvex
