// The installer's file utilities: path joining, whole-file reads and writes,
// folder creation and the writability probe, check words and digests of files,
// UTF-8 decoding and byte-size texts. Every file is reached through the
// HalAccess given, so the same code works on the source and the target side.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/platform_file.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;

// Joins two path parts with exactly one separator at the seam ('/' and '\'
// both count). An empty part gives the other unchanged; a seam without a
// separator gets '/'; a seam with two loses the second part's.
SharedString joinPath(const SharedString& first, const SharedString& second);

// Resolves `relative` against the folder `base`: each leading ".." component
// (".." followed by a separator or ending the text) takes one folder off the
// base, and the rest is joined to what remains. An empty base, or a relative
// path with a drive (second character ':'), gives `relative` unchanged.
SharedString resolveRelativePath(const SharedString& base, const SharedString& relative);

// Empties `buffer` and reads the whole file into it. True only when the file
// has between 1 byte and 4 GiB - 1 and all of it was read; an empty file
// reads as false.
bool readFileToBuffer(HalAccess& host, std::vector<std::uint8_t>& buffer, const SharedString& path);

// Creates the file (replacing one that exists) and writes the buffer; an empty
// buffer gives an empty file. True when every byte was written and the file
// closed without error.
[[nodiscard]] bool writeBufferToFile(HalAccess& host, const std::vector<std::uint8_t>& buffer,
                                     const SharedString& path);

// Puts `buffer` in place of the file at `path` so that a failure at any step
// leaves an existing file there: the buffer goes to "<path>.tmp", the old file
// steps aside as "<path>.bak" (the device's move never replaces a target)
// until the new one stands, and the backup is then deleted. `what` names the
// document in the log line of a failure ("Saved settings cannot be written to
// ..."). True when the new file stands.
[[nodiscard]] bool replaceFileWithBuffer(HalAccess& host, const std::vector<std::uint8_t>& buffer,
                                         const SharedString& path, const char16_t* what);

// Copies a file from one host to another in pieces: its first `length`
// bytes when a length is given, else the whole file (between files of one
// host the host's own copy). A copy that fails midway, or a file shorter than
// `length`, leaves no partial target behind. `targetError`, when given,
// receives the target host's error when the target could not be made or
// written (a full store) in a copy in pieces; 0 otherwise.
[[nodiscard]] bool copyFileBetweenHosts(const std::shared_ptr<HalAccess>& from, const SharedString& source,
                                        const std::shared_ptr<HalAccess>& to, const SharedString& target,
                                        std::optional<std::uint64_t> length = std::nullopt,
                                        std::uint32_t* targetError = nullptr);

// Clean-up steps whose caller goes on either way. A failure writes one log
// line that names the path and the host's error, so that a file or folder left
// behind is never silent; the answer tells whether it went. A file that is not
// there counts as deleted.
bool deleteFileOrLog(HalAccess& host, const SharedString& path);
bool removeDirectoryOrLog(HalAccess& host, const SharedString& path);
// The log line of a host operation that failed where the caller goes on:
// "<what> <path> failed (error <code>)", with the host's last error; call it
// right after the failed operation.
void logHostFailure(HalAccess& host, const char16_t* what, const SharedString& path);
// A host's error code as log lines give it: "error 112: the store is full"
// for a full store, which a person can act on, else "error <code>".
SharedString describeHostError(std::uint32_t error);

// Whether a file "testInstaller" can be created in the folder; the probe file
// is deleted again.
bool isFolderWritable(HalAccess& host, const SharedString& folder);

// Creates the folder and every missing ancestor, one level at a time from the
// shortest, stopping at the first level that cannot be created. True when the
// whole path stands as a folder at the end.
bool createDirectoryRecursive(HalAccess& host, const SharedString& path);

// The Adler-32 (byte sum in the high half) of `length` bytes of the open file
// from `offset`, read in pieces of 512 KB. Nothing when the range cannot be
// read whole (a failed seek or read, the end of the file, an invalid handle):
// a range that is not there never yields a check word that could match.
std::optional<std::uint32_t> computeFileRangeAdler32(HalAccess& host, FileHandle handle, std::uint64_t offset,
                                                     std::uint64_t length);

// The SHA-1 of the whole file as 40 upper-case hexadecimal characters; empty
// when the file cannot be opened or a read fails.
SharedString computeFileSha1Hex(HalAccess& host, const SharedString& path);

// Decodes UTF-8 bytes into `text` (replacing its content) with the device's
// lenient rules: a byte below 0xC0 is the code point of its value, a lead byte
// takes 1, 2 or 3 following bytes whose high bits are not checked, a byte-order
// mark becomes U+FEFF, a code point above 0xFFFF a surrogate pair and one above
// 0x10FFFF U+FFFD. False when the last sequence is cut off by `end` (the text
// keeps what came before it).
bool decodeUtf8ToString(const std::uint8_t* first, const std::uint8_t* end, SharedString& text);

// A byte count for people: "1023 bytes" (below 1,024 with `withBytes`), else
// kB, MB or GB with `precision` decimals ("1.5 kB"). A precision below 0 counts
// as 0, one above 6 as 2.
SharedString formatByteSize(std::uint64_t bytes, int precision, bool withBytes);

}  // namespace druvex
