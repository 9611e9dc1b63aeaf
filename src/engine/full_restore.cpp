// The restore of a full backup: every file of the backup, "info.xml" aside,
// goes back into the data folder that the backup names, written under a
// temporary name, compared by CRC with what the backup holds and only then
// moved into place; a file that already holds those bytes is left alone.
#include "engine/full_backup_restore.h"

#include <vector>

#include "controller/run_controller.h"
#include "core/app_log.h"
#include "core/path_text.h"
#include "engine/backup_files.h"
#include "fileutil/file_util.h"
#include "fileutil/installation_process_listener.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "hal/hal_file.h"
#include "payload/seven_zip_reader.h"
#include "payload/seven_zip_writer.h"

namespace druvex {
namespace {

class RestoreSink final : public SevenZipSink {
public:
    RestoreSink(InstallationProcess& process, std::shared_ptr<HalAccess> host, SharedString folder,
                std::vector<std::shared_ptr<const SevenZipReaderEntry>> files, std::uint64_t total)
        : process_(process), host_(std::move(host)), folder_(std::move(folder)), files_(std::move(files)),
          total_(total)
    {
    }
    ~RestoreSink() override { discardUnfinished(); }
    RestoreSink(const RestoreSink&) = delete;
    RestoreSink& operator=(const RestoreSink&) = delete;

    int beginFile(const SharedString& name, std::uint64_t size) override
    {
        // The reader hands the files over in archive order, as listed.
        const SevenZipReaderEntry* entry = next_ < files_.size() ? files_[next_].get() : nullptr;
        ++next_;
        if (failed_ || isCanceled())
            return kSevenZipStop;
        if (!entry || entry->name != name || entry->size != size)
            return fail(u"The backup's listing and its data disagree at ", name);
        if (name == kBackupInfoName)
            return kSevenZipSkip;
        if (!isSafeArchiveName(name.view()))
            return fail(u"The backup names a file outside its data folder: ", name);
        target_ = targetOf(name);
        if (isUnchanged(*entry)) {
            ++unchanged_;
            return kSevenZipSkip;
        }
        if (!createDirectoryRecursive(*host_, getParentFolder(target_)))
            return fail(u"The folder cannot be created for ", target_);
        temporary_ = target_ + kTemporarySuffix;
        if (!file_.openForWrite(host_, temporary_)) {
            temporary_.clear();
            return fail(u"Cannot create ", target_ + kTemporarySuffix);
        }
        return kSevenZipReceive;
    }

    int write(const std::uint8_t* data, std::uint32_t count) override
    {
        if (isCanceled())
            return 1;
        if (file_.write(data, count) != static_cast<std::int64_t>(count))
            return fail(u"Cannot write ", temporary_);
        return 0;
    }

    int endFile(const SevenZipReaderEntry& entry, bool crcMatched) override
    {
        if (!file_.close())
            return fail(u"Cannot close ", temporary_);
        if (!crcMatched)
            return fail(u"The backup's data are damaged at ", entry.name);
        // What the device holds now is compared, not what was handed to it.
        std::uint32_t written = 0;
        if (!computeFileCrc32(host_, temporary_, written) || written != entry.crc)
            return fail(u"The file written does not hold the backup's bytes: ", temporary_);
        // A file whose time cannot be set still holds the backup's bytes.
        if (entry.modificationTime != 0 && !host_->setFileTimes(temporary_, nullptr, nullptr, &entry.modificationTime))
            logHostFailure(*host_, u"Setting the time of", temporary_);
        const SharedString temporary = temporary_;
        temporary_.clear();
        if (!replaceWithTemporary(*host_, temporary, target_))
            return fail(u"Cannot restore ", target_);
        ++restored_;
        return 0;
    }

    void createFolder(const SharedString& name, const SevenZipReaderEntry&) override
    {
        if (failed_)
            return;
        if (!isSafeArchiveName(name.view())) {
            fail(u"The backup names a folder outside its data folder: ", name);
            return;
        }
        if (!createDirectoryRecursive(*host_, targetOf(name)))
            fail(u"Cannot create the folder ", targetOf(name));
    }

    void progress(std::uint32_t percent) override
    {
        InstallationProcessListener* listener = process_.listener();
        if (!listener)
            return;
        const std::uint64_t kilobytes = kilobytesAtPercent(total_, percent);
        listener->onBackupProgress(lowWord(kilobytes), highWord(kilobytes), percent);
    }

    // A file still being written when the extraction stopped goes; the one it
    // would have replaced stays.
    void discardUnfinished()
    {
        if (temporary_.isEmpty())
            return;
        file_.letGo();
        deleteFileOrLog(*host_, temporary_);
        temporary_.clear();
    }

    bool failed() const { return failed_; }
    bool canceled() const { return canceled_; }
    std::uint32_t restored() const { return restored_; }
    std::uint32_t unchanged() const { return unchanged_; }

private:
    bool isCanceled()
    {
        bool canceled = false;
        process_.waitIfPausedAndCheckCanceled(canceled);
        canceled_ = canceled_ || canceled;
        return canceled;
    }

    int fail(const char16_t* what, const SharedString& subject)
    {
        logError((what + subject).view());
        failed_ = true;
        discardUnfinished();
        return kSevenZipStop;
    }

    SharedString targetOf(const SharedString& name) const
    {
        std::u16string relative(name.view());
        for (char16_t& ch : relative)
            if (ch == u'/')
                ch = u'\\';
        return joinPath(folder_, SharedString(std::u16string_view(relative)));
    }

    bool isUnchanged(const SevenZipReaderEntry& entry)
    {
        bool isFolder = false;
        std::uint64_t size = 0;
        std::uint32_t crc = 0;
        return host_->exists(target_, &isFolder) && !isFolder && host_->getFileSize(target_, size) &&
               size == entry.size && computeFileCrc32(host_, target_, crc) && crc == entry.crc;
    }

    InstallationProcess& process_;
    std::shared_ptr<HalAccess> host_;
    SharedString folder_;
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> files_;
    std::uint64_t total_;
    std::size_t next_ = 0;
    SharedString target_;
    SharedString temporary_;
    HalFile file_;
    bool failed_ = false;
    bool canceled_ = false;
    std::uint32_t restored_ = 0;
    std::uint32_t unchanged_ = 0;
};

}  // namespace

bool FullBackupRestore::runRestore(InstallationProcess& process)
{
    const SharedString path = controller_.getBackupPath();
    const std::shared_ptr<HalAccess> host = process.getHalOut();
    SevenZipReader reader;
    BackupInfo info;
    if (inspect(host, path, reader, info) != kBackupValid)
        return false;
    const SharedString folder = dataFolderPath(info.dataFolder, process.getDestinationFolder());
    if (!createDirectoryRecursive(*host, folder)) {
        logError((u"The data folder of the backup cannot be created: " + folder).view());
        return false;
    }
    logPrintf(u"Restoring the full backup %s into %s", path, folder);

    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> files;
    for (auto& entry : entries)
        if (!entry->isDirectory)
            files.push_back(std::move(entry));
    const std::uint64_t total = reader.unpackedSize();
    if (InstallationProcessListener* listener = process.listener())
        listener->onBackupBegin(false, lowWord(total >> 10), highWord(total >> 10));

    RestoreSink sink(process, host, folder, std::move(files), total);
    const bool extracted = reader.extract(sink);
    sink.discardUnfinished();
    if (sink.canceled()) {
        logPrintf(u"The restore of %s was canceled", path);
        return false;
    }
    if (!extracted || sink.failed()) {
        logError((u"The restore of the full backup stopped: " + path).view());
        return false;
    }
    logPrintf(u"Restored %u files from %s (%u already as the backup holds them)",
              static_cast<unsigned>(sink.restored() + sink.unchanged()), path, static_cast<unsigned>(sink.unchanged()));
    return true;
}

}  // namespace druvex
