// The LZMA decoding of the features' packages on the other cores: while the
// installation thread writes one feature's files, the packages of the next
// features are decoded into bounded buffers. Only the decoding moves; the
// unpacker, the node writers and every host write stay on the installation
// thread, in the order of a run on one core, so what the device, the journal
// and the listener see does not depend on the number of cores.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "controller/run_controller.h"
#include "data/feature.h"
#include "data/package_sources.h"
#include "engine/installation_process.h"
#include "payload/lzma_decode_ahead.h"
#include "payload/payload_archive.h"
#include "text/mutex.h"

namespace druvex {

namespace {

// DRUVEX_DECODE_THREADS (a number from 1) when set, else the cores this
// process may use.
unsigned decodeThreadCount()
{
    if (const char* value = std::getenv("DRUVEX_DECODE_THREADS")) {
        char* end = nullptr;
        const unsigned long count = std::strtoul(value, &end, 10);
        if (end != value && *end == '\0' && count >= 1 && count <= 1024)
            return static_cast<unsigned>(count);
    }
    return usableCoreCount();
}

std::atomic<std::size_t> g_poolBytes{0};
std::atomic<std::size_t> g_chunkBytes{0};

}  // namespace

void setDecodeAheadPoolForTests(std::size_t bufferBytes, std::size_t chunkBytes)
{
    g_poolBytes.store(bufferBytes);
    g_chunkBytes.store(chunkBytes);
}

void InstallationProcess::startDecodingAhead(const std::vector<FeaturePtr>& features)
{
    const unsigned threads = decodeThreadCount();
    if (threads <= 1)
        return;
    std::vector<EntryInputOpener> openers;
    std::unordered_map<const Feature*, std::size_t> streams;
    std::vector<PackageSource> sources;
    for (const FeaturePtr& feature : features) {
        if (!controller_.getPackageSources().equalRange(*feature, sources))
            continue;
        // The source extractPackage takes: the first. Only the archive's
        // entries are packages to decode; a local file is copied as it is.
        const PackageSource& source = sources.front();
        if (source.sourceKind != kSourceArchiveEntry)
            continue;
        EntryInputOpener opener = payload_.lzmaEntryOpener(source.location);
        if (!opener)
            continue;
        streams.emplace(feature.get(), openers.size());
        openers.push_back(std::move(opener));
    }
    if (openers.empty())
        return;
    LzmaDecodeAhead::Limits limits;
    limits.threads = threads;
    if (const std::size_t bytes = g_poolBytes.load())
        limits.bufferBytes = bytes;
    if (const std::size_t bytes = g_chunkBytes.load())
        limits.chunkBytes = bytes;
    auto ahead = std::make_unique<LzmaDecodeAhead>(std::move(openers), limits);
    MutexLock lock(aheadMutex_);
    decodeAhead_ = std::move(ahead);
    aheadStreams_ = std::move(streams);
    // A pause or cancel that came before the decoders did reaches them now;
    // one after goes through the lock.
    const RunState state = fastState_.load();
    if (state == kRunStatePaused)
        decodeAhead_->pause();
    else if (state == kRunStateCanceled)
        decodeAhead_->stop();
}

void InstallationProcess::endDecodingAhead()
{
    std::unique_ptr<LzmaDecodeAhead> ahead;
    {
        MutexLock lock(aheadMutex_);
        ahead = std::move(decodeAhead_);
        aheadStreams_.clear();
    }
    // Joined outside the lock, so that a cancel meanwhile does not wait for it.
    ahead.reset();
}

std::optional<bool> InstallationProcess::takeDecodedAhead(const Feature& feature, PayloadSink& sink)
{
    LzmaDecodeAhead* ahead = nullptr;
    std::size_t index = 0;
    {
        MutexLock lock(aheadMutex_);
        const auto found = aheadStreams_.find(&feature);
        if (!decodeAhead_ || found == aheadStreams_.end())
            return std::nullopt;
        ahead = decodeAhead_.get();
        index = found->second;
    }
    // Only this thread ends the decoders, so they outlive the take; the lock
    // is not held, so that a cancel reaches them meanwhile.
    return ahead->take(index, sink);
}

}  // namespace druvex
