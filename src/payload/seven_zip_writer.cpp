#include "payload/seven_zip_writer.h"
#include "payload/lzma_alloc.h"

#include <lzma/LzmaEnc.h>

#include <cstdlib>
#include <string>

#include "core/app_log.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "payload/seven_zip_header.h"
#include "payload/seven_zip_number.h"

namespace druvex {
namespace {

constexpr int kLzmaLevel = 5;
constexpr std::uint32_t kLzmaDictionarySize = 0x200000;
constexpr std::size_t kCrcReadPiece = 64 * 1024;

// A source that fails the archive: an error line naming it, flushed at once
// so that it survives whatever happens to the run next.
void logSourceFailure(std::u16string_view what, const SharedString& path)
{
    std::u16string line(what);
    line += path.view();
    logError(line);
    flushLog();
}

constexpr std::u16string_view kCannotOpen = u"Cannot open ";
constexpr std::u16string_view kReadError = u"Read error ";
constexpr std::u16string_view kCannotClose = u"Cannot close ";
// A source whose size is not what it was when it was added: the header,
// written after the data, would otherwise disagree with it.
constexpr std::u16string_view kChanged = u"File changed during backup ";

// The encoder's input: the data of every file entry in order, read through
// the host. Each file must still hold exactly the bytes it had when it was
// added; empty files are opened too, so that one that vanished or grew fails
// the archive like any other.
class SourceReader {
public:
    SourceReader(const std::shared_ptr<HalAccess>& host, const std::vector<std::shared_ptr<SevenZipEntry>>& entries,
                 SevenZipProgressListener* listener)
        : host_(host), entries_(entries), listener_(listener)
    {
        for (const auto& entry : entries)
            if (entry->hasData())
                total_ += entry->size;
    }

    // ISeqInStream::Read: fills up to `size` bytes; 0 bytes only at the end.
    SRes read(std::uint8_t* buffer, std::size_t& size)
    {
        const std::size_t wanted = size;
        size = 0;
        while (true) {
            if (!current_ && !openNext())
                return failed_ ? SZ_ERROR_READ : SZ_OK;
            if (remaining_ == 0) {
                if (!finishCurrent())
                    return SZ_ERROR_READ;
                continue;
            }
            if (wanted == 0)
                return SZ_OK;
            const std::size_t piece = remaining_ < wanted ? static_cast<std::size_t>(remaining_) : wanted;
            const std::int64_t got = file_.read(buffer, piece);
            if (got <= 0)
                return fail(got < 0 ? kReadError : kChanged);
            const auto count = static_cast<std::size_t>(got);
            crc_ = updateSevenZipCrc(crc_, std::span<const std::uint8_t>(buffer, count));
            remaining_ -= count;
            done_ += count;
            size = count;
            return reportProgress() ? SZ_OK : SZ_ERROR_PROGRESS;
        }
    }

    bool failed() const { return failed_; }
    bool finished() const { return index_ == entries_.size() && !current_; }
    std::uint64_t total() const { return total_; }

    // The last value when the data ended before a full percent was reached.
    bool reportCompletion()
    {
        done_ = total_;
        return reportProgress();
    }

private:
    bool openNext()
    {
        while (index_ < entries_.size() && entries_[index_]->isDirectory)
            ++index_;
        if (index_ == entries_.size())
            return false;
        current_ = entries_[index_].get();
        if (!file_.openForRead(host_, current_->sourcePath)) {
            fail(kCannotOpen);
            return false;
        }
        remaining_ = current_->size;
        crc_ = 0;
        return true;
    }

    bool finishCurrent()
    {
        std::uint8_t probe = 0;
        const std::int64_t extra = file_.read(&probe, 1);
        if (extra != 0) {
            fail(extra < 0 ? kReadError : kChanged);
            return false;
        }
        if (!file_.close()) {
            fail(kCannotClose);
            return false;
        }
        current_->crc = crc_;
        current_ = nullptr;
        ++index_;
        return true;
    }

    // Logs the source and gives up on the rest.
    SRes fail(std::u16string_view what)
    {
        logSourceFailure(what, current_->sourcePath);
        file_.letGo();
        failed_ = true;
        current_ = nullptr;
        index_ = entries_.size();
        return SZ_ERROR_READ;
    }

    bool reportProgress()
    {
        if (!listener_)
            return true;
        const std::uint32_t percent = sevenZipPercent(done_, total_);
        if (percent == lastPercent_)
            return true;
        lastPercent_ = percent;
        if (listener_->onProgress(percent))
            return true;
        failed_ = true;
        return false;
    }

    const std::shared_ptr<HalAccess>& host_;
    const std::vector<std::shared_ptr<SevenZipEntry>>& entries_;
    SevenZipProgressListener* listener_;
    std::size_t index_ = 0;
    SevenZipEntry* current_ = nullptr;
    HalFile file_;
    std::uint64_t remaining_ = 0;
    std::uint32_t crc_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    std::uint32_t lastPercent_ = 0;
    bool failed_ = false;
};

// The SDK hands its callbacks the address of the interface record, so each
// adapter starts with one and points to the object that does the work.
struct InStreamAdapter {
    ISeqInStream stream;
    SourceReader* reader;
};

SRes readSource(ISeqInStreamPtr p, void* buffer, std::size_t* size)
{
    return reinterpret_cast<const InStreamAdapter*>(p)->reader->read(static_cast<std::uint8_t*>(buffer), *size);
}

// The encoder's output: the archive file, counting what went into it.
struct OutStreamAdapter {
    ISeqOutStream stream;
    HalFile* file;
    std::uint64_t written;
};

std::size_t writePacked(ISeqOutStreamPtr p, const void* data, std::size_t size)
{
    auto* self = const_cast<OutStreamAdapter*>(reinterpret_cast<const OutStreamAdapter*>(p));
    const std::int64_t written = self->file->write(data, size);
    if (written != static_cast<std::int64_t>(size))
        return 0;
    self->written += size;
    return size;
}

struct EncoderDeleter {
    void operator()(CLzmaEnc* encoder) const { LzmaEnc_Destroy(encoder, &g_lzmaAlloc, &g_lzmaAlloc); }
};

}  // namespace

SevenZipWriter::~SevenZipWriter()
{
    if (file_.isOpen())
        abandon();
}

bool SevenZipWriter::open(const std::shared_ptr<HalAccess>& host, const SharedString& path)
{
    close(nullptr);
    entries_.clear();
    folders_.clear();
    host_ = host;
    path_ = path;
    if (!host_)
        return false;
    return file_.openForWrite(host_, path_);
}

bool SevenZipWriter::addPath(const SharedString& sourcePath, const SharedString& archiveName)
{
    if (!file_.isOpen() || !isSafeArchiveName(archiveName.view()))
        return false;
    bool isFolder = false;
    if (!host_->exists(sourcePath, &isFolder))
        return false;
    std::uint64_t size = 0;
    if (!isFolder && !host_->getFileSize(sourcePath, size))
        return false;
    // An entry whose time cannot be read is stored with none; its bytes are whole.
    std::uint64_t lastWrite = 0;
    if (!host_->getFileTimes(sourcePath, nullptr, nullptr, &lastWrite))
        logHostFailure(*host_, u"Reading the time of", sourcePath);

    const std::u16string_view name = archiveName.view();
    for (std::size_t slash = name.find(u'/'); slash != std::u16string_view::npos; slash = name.find(u'/', slash + 1)) {
        SharedString folder(name.substr(0, slash));
        if (!folders_.insert(folder).second)
            continue;
        auto entry = std::make_shared<SevenZipEntry>();
        entry->name = folder;
        entry->isDirectory = true;
        entry->modificationTime = lastWrite;
        entries_.push_back(std::move(entry));
    }
    // A folder that is in the archive already, named or implied, stays one entry.
    if (isFolder && !folders_.insert(archiveName).second)
        return true;

    auto entry = std::make_shared<SevenZipEntry>();
    entry->name = archiveName;
    entry->sourcePath = sourcePath;
    entry->isDirectory = isFolder;
    entry->size = size;
    entry->modificationTime = lastWrite;
    entries_.push_back(std::move(entry));
    return true;
}

bool SevenZipWriter::close(SevenZipProgressListener* listener)
{
    if (!file_.isOpen())
        return true;
    bool written = writeArchive(listener);
    if (!file_.close())
        written = false;
    if (!written)
        deleteFileOrLog(*host_, path_);
    folders_.clear();
    return written;
}

void SevenZipWriter::abandon()
{
    file_.letGo();
    deleteFileOrLog(*host_, path_);
    entries_.clear();
    folders_.clear();
}

bool SevenZipWriter::writeAll(const void* data, std::size_t count)
{
    return file_.write(data, count) == static_cast<std::int64_t>(count);
}

bool SevenZipWriter::writeArchive(SevenZipProgressListener* listener)
{
    const auto placeholder = buildSevenZipStartHeader({});
    if (!writeAll(placeholder.data(), placeholder.size()))
        return false;

    std::unique_ptr<CLzmaEnc, EncoderDeleter> encoder(LzmaEnc_Create(&g_lzmaAlloc));
    if (!encoder)
        return false;
    CLzmaEncProps properties;
    LzmaEncProps_Init(&properties);
    properties.level = kLzmaLevel;
    properties.dictSize = kLzmaDictionarySize;
    properties.numThreads = 1;
    if (LzmaEnc_SetProps(encoder.get(), &properties) != SZ_OK)
        return false;
    SevenZipStreamInfo stream;
    SizeT propertySize = stream.lzmaProperties.size();
    if (LzmaEnc_WriteProperties(encoder.get(), stream.lzmaProperties.data(), &propertySize) != SZ_OK ||
        propertySize != kSevenZipLzmaPropertySize)
        return false;

    SourceReader reader(host_, entries_, listener);
    InStreamAdapter input{{readSource}, &reader};
    OutStreamAdapter output{{writePacked}, &file_, 0};
    const SRes result = LzmaEnc_Encode(encoder.get(), &output.stream, &input.stream, nullptr, &g_lzmaAlloc,
                                       &g_lzmaAlloc);
    encoder.reset();
    if (result != SZ_OK || reader.failed() || !reader.finished())
        return false;
    if (!reader.reportCompletion())
        return false;

    stream.packedSize = output.written;
    stream.unpackedSize = reader.total();
    const std::vector<std::uint8_t> header = buildSevenZipHeader(stream, entries_);
    if (!writeAll(header.data(), header.size()))
        return false;
    const std::vector<std::uint8_t> encodedHeader =
        buildSevenZipEncodedHeader({stream.packedSize, header.size(), sevenZipCrc(header)});
    if (!writeAll(encodedHeader.data(), encodedHeader.size()))
        return false;

    const auto startHeader = buildSevenZipStartHeader(
        {stream.packedSize + header.size(), encodedHeader.size(), sevenZipCrc(encodedHeader)});
    return file_.seekToBegin() && writeAll(startHeader.data(), startHeader.size());
}

bool computeFileCrc32(const std::shared_ptr<HalAccess>& host, const SharedString& path, std::uint32_t& crc)
{
    crc = 0;
    HalFile file;
    if (!file.openForRead(host, path))
        return false;
    std::vector<std::uint8_t> buffer(kCrcReadPiece);
    std::uint32_t running = 0;
    while (true) {
        const std::int64_t got = file.read(buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        running = updateSevenZipCrc(running, std::span(buffer).first(static_cast<std::size_t>(got)));
    }
    if (!file.close())
        return false;
    crc = running;
    return true;
}

}  // namespace druvex
