// Codes the entries of an installer archive on several threads at once. The
// entries are independent streams, so each is coded whole into a scratch
// file of its own and handed back in the order the entries were given: the
// archive written from them holds the same bytes whatever the number of
// threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "payload/entry_encoder.h"

namespace druvex::tools {

// Writes one entry's coded bytes through `write`; false with the reason when
// it cannot.
using CodingJob = std::function<bool(const EntryWriteFunction& write, std::string& reason)>;

// Takes the coded bytes of job `index` (`size` of them, pulled from `read`);
// false stops the coding.
using CodedEntryFunction =
    std::function<bool(std::size_t index, std::uint64_t size, const EntryReadFunction& read)>;

// Runs the jobs on at most `threads` threads, each into an unnamed scratch
// file in `scratchFolder`, and gives every job's bytes to `take` on the
// calling thread, in job order. False with the reason at the first job that
// fails, scratch file that cannot be made or `take` that answers false (no
// job starts once the calling thread has met it); no scratch file outlives
// the call.
bool codeInParallel(const std::vector<CodingJob>& jobs, unsigned threads, const std::filesystem::path& scratchFolder,
                    const CodedEntryFunction& take, std::string& reason);

// How many entries to code at once: one per core, no more than the memory
// available holds encoders (each takes about 190 MB with the archive's
// 16 MiB dictionary), at least one.
unsigned defaultCodingThreads();

// The same from the figures themselves: the cores and the bytes of memory
// available (0 when unknown: the cores alone decide).
unsigned codingThreadsFor(unsigned cores, std::uint64_t availableMemory);

}  // namespace druvex::tools
