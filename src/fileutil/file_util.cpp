#include "fileutil/file_util.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "core/adler32.h"
#include "core/app_log.h"
#include "core/path_text.h"
#include "core/sha1.h"
#include "hal/hal_access.h"
#include "hal/hal_file.h"
#include "platform/win_error.h"

namespace druvex {
namespace {

constexpr std::size_t kAdlerPieceBytes = 524288;
constexpr std::size_t kSha1PieceBytes = 16384;
constexpr std::uint32_t kOpenCreateForWrite = kFileCreateAlways | kFileWrite;  // 72

// The ".." of a relative path counts as a component only when a separator or
// the end follows it: "..data" is a folder name, not a step up.
bool startsWithParentStep(const SharedString& text, int position)
{
    const int length = text.length();
    if (position + 2 > length || text[position] != u'.' || text[position + 1] != u'.')
        return false;
    return position + 2 == length || isPathSeparator(text[position + 2]);
}

void appendCodePoint(std::u16string& out, std::uint32_t codePoint)
{
    if (codePoint > 0x10FFFF) {
        out.push_back(u'\uFFFD');
        return;
    }
    if (codePoint <= 0xFFFF) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

}  // namespace

SharedString joinPath(const SharedString& first, const SharedString& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    const bool firstEnds = isPathSeparator(first[first.length() - 1]);
    const bool secondStarts = isPathSeparator(second[0]);
    if (firstEnds != secondStarts)
        return first + second;
    if (!firstEnds)
        return first + u'/' + second;
    return first + second.midToEnd(1);
}

SharedString resolveRelativePath(const SharedString& base, const SharedString& relative)
{
    if (base.isEmpty() || (relative.length() > 1 && relative[1] == u':'))
        return relative;
    int position = 0;
    SharedString folder = base;
    while (startsWithParentStep(relative, position)) {
        position += position + 2 < relative.length() ? 3 : 2;
        folder = getParentFolder(folder);
    }
    if (position == 0)
        return joinPath(base, relative);
    return joinPath(folder, relative.midToEnd(position));
}

bool readFileToBuffer(HalAccess& host, std::vector<std::uint8_t>& buffer, const SharedString& path)
{
    buffer.clear();
    std::uint64_t size = 0;
    if (!host.getFileSize(path, size) || size == 0 || size >= 0x100000000ull)
        return false;
    const FileHandle handle = host.openFileForRead(path);
    if (handle == kInvalidFileHandle)
        return false;
    bool complete = false;
    try {
        buffer.resize(static_cast<std::size_t>(size));
        complete = host.readFully(handle, buffer.data(), buffer.size()) == static_cast<std::int64_t>(size);
    } catch (const std::bad_alloc&) {
        buffer.clear();
    }
    host.closeFileAfterReading(handle);
    return complete;
}

bool writeBufferToFile(HalAccess& host, const std::vector<std::uint8_t>& buffer, const SharedString& path)
{
    const FileHandle handle = host.createFileForWrite(path);
    if (handle == kInvalidFileHandle)
        return false;
    std::int64_t written = 0;
    if (!buffer.empty())
        written = host.writeFile(handle, buffer.data(), buffer.size());
    // A close can be where a deferred write fails; the bytes are then not on disk.
    const bool closed = host.closeFile(handle);
    return closed && written == static_cast<std::int64_t>(buffer.size());
}

void logHostFailure(HalAccess& host, const char16_t* what, const SharedString& path)
{
    logPrintf(u"%s %s failed (%s)", what, path, describeHostError(host.getLastError()));
}

SharedString describeHostError(std::uint32_t error)
{
    SharedString text;
    text.format(u"error %u", error);
    if (error == kErrorDiskFull)
        text += u": the store is full";
    return text;
}

bool deleteFileOrLog(HalAccess& host, const SharedString& path)
{
    if (host.deleteFile(path))
        return true;
    logHostFailure(host, u"Deleting", path);
    return false;
}

bool removeDirectoryOrLog(HalAccess& host, const SharedString& path)
{
    if (host.removeDirectory(path))
        return true;
    logHostFailure(host, u"Removing the folder", path);
    return false;
}

bool replaceFileWithBuffer(HalAccess& host, const std::vector<std::uint8_t>& buffer, const SharedString& path,
                           const char16_t* what)
{
    const SharedString temporary = path + u".tmp";
    const SharedString backup = path + u".bak";
    if (!writeBufferToFile(host, buffer, temporary)) {
        const std::uint32_t error = host.getLastError();
        deleteFileOrLog(host, temporary);
        logPrintf(u"%s cannot be written to %s (error %u)", what, temporary, error);
        return false;
    }
    bool isFolder = false;
    const bool hadFile = host.exists(path, &isFolder);
    if (hadFile && isFolder) {
        deleteFileOrLog(host, temporary);
        logPrintf(u"%s cannot replace %s: a folder stands there", what, path);
        return false;
    }
    if (hadFile) {
        // A backup left by an earlier save that failed half-way.
        deleteFileOrLog(host, backup);
        if (!host.moveFile(path, backup)) {
            const std::uint32_t error = host.getLastError();
            deleteFileOrLog(host, temporary);
            logPrintf(u"%s cannot replace %s: moving it to %s failed (error %u)", what, path, backup, error);
            return false;
        }
    }
    if (!host.moveFile(temporary, path)) {
        const std::uint32_t error = host.getLastError();
        if (hadFile && !host.moveFile(backup, path))
            logPrintf(u"%s: the previous file remains in %s", what, backup);
        deleteFileOrLog(host, temporary);
        logPrintf(u"%s cannot be moved to %s (error %u)", what, path, error);
        return false;
    }
    if (hadFile)
        deleteFileOrLog(host, backup);
    return true;
}

bool copyFileBetweenHosts(const std::shared_ptr<HalAccess>& from, const SharedString& source,
                          const std::shared_ptr<HalAccess>& to, const SharedString& target,
                          std::optional<std::uint64_t> length, std::uint32_t* targetError)
{
    std::uint32_t unused = 0;
    std::uint32_t& writeError = targetError ? *targetError : unused;
    writeError = 0;
    if (from == to && !length)
        return from->copyFile(source, target, false);
    HalFile input;
    HalFile output;
    if (!input.openForRead(from, source))
        return false;
    if (!output.openForWrite(to, target)) {
        writeError = to->getLastError();
        return false;
    }
    constexpr std::size_t kPieceBytes = 64 * 1024;
    std::vector<std::uint8_t> piece(kPieceBytes);
    std::uint64_t left = length.value_or(~std::uint64_t{0});
    bool copied = true;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
        const std::int64_t count = input.read(piece.data(), want);
        if (count == 0) {
            // A file shorter than the part asked for is no copy of that part.
            copied = !length;
            break;
        }
        if (count < 0) {
            copied = false;
            break;
        }
        if (output.write(piece.data(), static_cast<std::size_t>(count)) != count) {
            writeError = to->getLastError();
            copied = false;
            break;
        }
        left -= static_cast<std::uint64_t>(count);
    }
    if (!output.close() && copied) {
        writeError = to->getLastError();
        copied = false;
    }
    if (!copied)
        deleteFileOrLog(*to, target);
    return copied;
}

bool isFolderWritable(HalAccess& host, const SharedString& folder)
{
    const SharedString probe = joinPath(folder, SharedString(u"testInstaller"));
    const FileHandle handle = host.openFile(probe, kOpenCreateForWrite, nullptr);
    if (handle == kInvalidFileHandle)
        return false;
    // Nothing was written, so a close that fails loses nothing.
    (void)host.closeFile(handle);
    deleteFileOrLog(host, probe);
    return true;
}

bool createDirectoryRecursive(HalAccess& host, const SharedString& path)
{
    std::vector<SharedString> chain{path};
    for (;;) {
        const int separator = findLastSeparator(chain.back());
        if (separator <= 0)
            break;
        chain.push_back(chain.back().left(separator));
    }
    SharedString lastLooked = path;
    for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
        lastLooked = *level;
        if (host.exists(*level, nullptr))
            continue;
        if (!host.createDirectory(*level))
            break;
    }
    bool isFolder = false;
    return host.exists(lastLooked, &isFolder) && isFolder;
}

std::optional<std::uint32_t> computeFileRangeAdler32(HalAccess& host, FileHandle handle, std::uint64_t offset,
                                                     std::uint64_t length)
{
    Adler32 adler;
    if (length == 0)
        return adler.final();
    if (handle == kInvalidFileHandle || offset > static_cast<std::uint64_t>(INT64_MAX))
        return std::nullopt;
    if (!host.seekFile(handle, 0, static_cast<std::int64_t>(offset), nullptr))
        return std::nullopt;
    const std::size_t pieceBytes = static_cast<std::size_t>(std::min<std::uint64_t>(length, kAdlerPieceBytes));
    std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[pieceBytes]);
    if (!piece)
        return std::nullopt;
    std::uint64_t left = length;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, pieceBytes));
        if (host.readFully(handle, piece.get(), want) != static_cast<std::int64_t>(want))
            return std::nullopt;
        adler.update(want, piece.get());
        left -= want;
    }
    return adler.final();
}

SharedString computeFileSha1Hex(HalAccess& host, const SharedString& path)
{
    const FileHandle handle = host.openFileForRead(path);
    if (handle == kInvalidFileHandle)
        return SharedString();
    Sha1 sha1;
    std::uint8_t piece[kSha1PieceBytes];
    bool failed = false;
    // To the end of the file rather than to a size taken first: a size cut to
    // 32 bits would hash only part of a large file.
    for (;;) {
        const std::int64_t got = host.readFile(handle, piece, sizeof piece);
        if (got < 0) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        sha1.update(static_cast<std::size_t>(got), piece);
    }
    host.closeFileAfterReading(handle);
    if (failed)
        return SharedString();
    return sha1.hexDigest(Sha1::kDigestBytes);
}

bool decodeUtf8ToString(const std::uint8_t* first, const std::uint8_t* end, SharedString& text)
{
    std::u16string out;
    bool complete = true;
    const std::uint8_t* at = first;
    while (at && at < end) {
        const std::uint8_t lead = *at;
        int following = 0;
        std::uint32_t codePoint = lead;
        if (lead >= 0xF0) {
            following = 3;
            codePoint = lead & 0x07;
        } else if (lead >= 0xE0) {
            following = 2;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xC0) {
            following = 1;
            codePoint = lead & 0x1F;
        }
        if (end - at <= following) {
            complete = false;
            break;
        }
        for (int i = 1; i <= following; ++i)
            codePoint = (codePoint << 6) | (at[i] & 0x3F);
        appendCodePoint(out, codePoint);
        at += following + 1;
    }
    text = SharedString(std::u16string_view(out));
    return complete;
}

SharedString formatByteSize(std::uint64_t bytes, int precision, bool withBytes)
{
    if (precision < 0)
        precision = 0;
    else if (precision > 6)
        precision = 2;
    SharedString text;
    if (bytes < 1024 && withBytes) {
        text.format(u"%d %s", static_cast<int>(bytes), u"bytes");
        return text;
    }
    double value = 0;
    const char16_t* unit = u"GB";
    if (bytes < 1048576) {
        value = static_cast<double>(bytes) / 1024.0;
        unit = u"kB";
    } else if (bytes < 1073741824) {
        value = static_cast<double>(bytes) / 1048576.0;
        unit = u"MB";
    } else {
        value = static_cast<double>(bytes) / 1073741824.0;
    }
    text.format(u"%.*f %s", precision, value, unit);
    return text;
}

}  // namespace druvex
