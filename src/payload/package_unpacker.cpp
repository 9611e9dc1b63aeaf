#include "payload/package_unpacker.h"

#include <algorithm>
#include <string>

#include "core/xml_reader.h"
#include "platform/input_limits.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "payload/package_fragments.h"
#include "payload/package_header.h"

namespace druvex {

namespace {

constexpr std::uint32_t kFragmentOrder[] = {kPackageRecordRegistry,       kPackageRecordEnvironmentVars,
                                            kPackageRecordFileAssociations, kPackageRecordFeatureScripts,
                                            kPackageRecordShortcuts,      kPackageRecordIis};

std::size_t fragmentSlot(std::uint32_t type)
{
    return static_cast<std::size_t>(std::find(std::begin(kFragmentOrder), std::end(kFragmentOrder), type) -
                                    std::begin(kFragmentOrder));
}

std::shared_ptr<Feature> newFeature()
{
    std::shared_ptr<Feature> feature = makeFeaturePtr();
    // The tree describes the package alone: its top-level records become the
    // root's children, without the placeholder folder a new feature starts with.
    feature->clearContent();
    return feature;
}

}  // namespace

template <class... Args>
bool PackageUnpacker::refuse(std::int64_t record, const char16_t* pattern, const Args&... args)
{
    refusal_.record = record;
    refusal_.reason.format(pattern, args...);
    if (record >= 0)
        logError(SharedString().format(u"Package refused: record %I64d: %s", record, refusal_.reason).view());
    else
        logError(SharedString().format(u"Package refused: %s", refusal_.reason).view());
    failed_ = true;
    return false;
}

PackageUnpacker::PackageUnpacker(PackagePathResolver* resolver, PackageNodeWriter& writer, HalAccess& host)
    : resolver_(resolver), writer_(writer), host_(host), feature_(newFeature())
{
}

PackageUnpacker::~PackageUnpacker() = default;

void PackageUnpacker::begin(std::uint32_t sizeLow, std::uint32_t sizeHigh)
{
    announcedSize_ = joinPayloadSize(sizeLow, sizeHigh);
    closeUnfinished(false);
    reset();
    refusal_ = PackageRefusal{};
}

bool PackageUnpacker::write(std::uint32_t size, const std::uint8_t* bytes)
{
    if (failed_)
        return false;
    std::size_t left = size;
    if (!headerParsed_) {
        if (!gatherHeader(bytes, left)) {
            failed_ = true;
            return false;
        }
        if (!headerParsed_)
            return true;
    }
    if (done_)  // the fragments are applied once per pass
        return left == 0 || refuse(-1, u"data follow the last record");
    if (!processData(bytes, left)) {
        failed_ = true;
        return false;
    }
    if (current_ < records_.size())
        return true;
    done_ = true;
    if (!applyFragments())
        return false;
    if (left > 0)
        return refuse(-1, u"data follow the last record");
    return true;
}

bool PackageUnpacker::finish()
{
    return !failed_ && done_;
}

bool PackageUnpacker::checkHeaderSize()
{
    if (headerSize_ < kPackageHeaderFixedSize)
        return refuse(-1, u"the header size is %I64u", headerSize_);
    // A size from the stream never sizes a buffer beyond the limit.
    if (headerSize_ > kMaxPackageHeaderSize)
        return refuse(-1, u"the header size %I64u is above the limit", headerSize_);
    return true;
}

bool PackageUnpacker::gatherHeader(const std::uint8_t*& bytes, std::size_t& left)
{
    if (headerBuffer_.empty() && left >= 8) {
        headerSize_ = readPackageHeaderSize(bytes);
        if (!checkHeaderSize())
            return false;
        if (left >= headerSize_) {
            const std::size_t size = static_cast<std::size_t>(headerSize_);
            if (!parseHeader(bytes, size))
                return false;
            bytes += size;
            left -= size;
            return true;
        }
    }
    if (headerBuffer_.size() < 8) {
        const std::size_t take = std::min<std::size_t>(8 - headerBuffer_.size(), left);
        headerBuffer_.insert(headerBuffer_.end(), bytes, bytes + take);
        bytes += take;
        left -= take;
        if (headerBuffer_.size() < 8)
            return true;
        headerSize_ = readPackageHeaderSize(headerBuffer_.data());
        if (!checkHeaderSize())
            return false;
        // The header's whole size at once: grown piece by piece, the buffer
        // would hold up to three times the header while it moves.
        headerBuffer_.reserve(static_cast<std::size_t>(headerSize_));
    }
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::uint64_t>(headerSize_ - headerBuffer_.size(), static_cast<std::uint64_t>(left)));
    headerBuffer_.insert(headerBuffer_.end(), bytes, bytes + take);
    bytes += take;
    left -= take;
    if (headerBuffer_.size() < headerSize_)
        return true;
    const bool parsed = parseHeader(headerBuffer_.data(), headerBuffer_.size());
    std::vector<std::uint8_t>().swap(headerBuffer_);
    return parsed;
}

bool PackageUnpacker::parseHeader(const std::uint8_t* bytes, std::size_t size)
{
    // Two passes over the header: the first checks it and counts the records
    // and the fragment bytes, the second builds the tree into lists of
    // exactly those sizes. The header's own list of records is never held
    // beside them.
    PackageHeader header;
    std::string reason;
    std::int64_t refused = -1;
    std::size_t count = 0;
    std::array<std::uint64_t, std::size(kFragmentOrder)> fragmentBytes{};
    fragmentRecords_.fill(-1);
    std::uint32_t tooLarge = 0;
    const bool counted = forEachPackageRecord(
        {bytes, size}, header, reason,
        [&](PackageRecord&& record) {
            const auto index = static_cast<std::int64_t>(count++);
            if (!isPackageFragmentType(record.type))
                return true;
            const std::size_t slot = fragmentSlot(record.type);
            if (fragmentRecords_[slot] < 0)
                fragmentRecords_[slot] = index;
            std::uint64_t& total = fragmentBytes[slot];
            total += std::min(record.dataSize, kMaxXmlFragmentSize + 1);
            if (total <= kMaxXmlFragmentSize)
                return true;
            tooLarge = record.type;
            return false;
        },
        &refused, PackageRecordNames::kSkipped);
    if (tooLarge != 0)
        return refuse(refused, u"an XML fragment of type %u is larger than the limit", tooLarge);
    if (!counted)
        return refuse(refused, u"%s", fromUtf8(reason));
    records_.clear();
    records_.reserve(count);
    for (std::size_t slot = 0; slot < fragments_.size(); ++slot)
        fragments_[slot].reserve(static_cast<std::size_t>(fragmentBytes[slot]));
    if (!forEachPackageRecord(
            {bytes, size}, header, reason, [this](PackageRecord&& record) { return addRecord(std::move(record)); },
            &refused))
        return refuse(refused, u"the package tree cannot be built");
    fileBytes_ = header.fileBytes;
    headerParsed_ = true;
    current_ = 0;
    consumed_ = 0;
    return true;
}

bool PackageUnpacker::addRecord(PackageRecord&& record)
{
    std::shared_ptr<ContentItem> node;
    if (record.type == kPackageRecordFolder) {
        node = std::make_shared<ContentFolder>(record.name);
    } else if (record.type == kPackageRecordFile) {
        auto file = std::make_shared<ContentFile>(record.name);
        file->setSize(record.dataSize);
        file->setTimeValue(record.timeStamp);
        file->setVersionValue(record.version);
        node = file;
    }
    if (node) {
        node->setFlags(static_cast<std::int32_t>(record.flags));
        ContentItem& parent = record.parent < 0 ? static_cast<ContentItem&>(*feature_->contentFolder())
                                                : *records_[static_cast<std::size_t>(record.parent)].node;
        if (!parent.addChild(node))
            return false;
    }
    records_.push_back({record.type, std::move(node), record.dataSize});
    return true;
}

bool PackageUnpacker::processData(const std::uint8_t*& bytes, std::size_t& left)
{
    while (current_ < records_.size()) {
        const Record& record = records_[current_];
        const std::uint64_t needed = record.dataSize - consumed_;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(needed, left));
        // A record without data (a folder, an empty file) is processed even
        // when the input is used up.
        if (take == 0 && needed > 0)
            return true;
        const bool node = record.type == kPackageRecordFile || record.type == kPackageRecordFolder;
        // Records kept by keepVerified are passed over; fragments are gathered
        // on every pass so that the Feature of a resumed pass is complete.
        const bool skipped = node && current_ < skipCount_;
        if (!skipped) {
            if (record.type == kPackageRecordFile) {
                if (!writeFilePiece(record, bytes, take))
                    return false;
            } else if (record.type == kPackageRecordFolder) {
                if (!createFolder(record))
                    return false;
            } else if (isPackageFragmentType(record.type)) {
                std::vector<std::uint8_t>& buffer = fragments_[fragmentSlot(record.type)];
                buffer.insert(buffer.end(), bytes, bytes + take);
            }
        }
        bytes += take;
        left -= take;
        if (consumed_ + take < record.dataSize) {
            consumed_ += take;
            continue;
        }
        ++current_;
        consumed_ = 0;
    }
    return true;
}

SharedString PackageUnpacker::targetPath(const ContentItem& node)
{
    if (plainNames_)
        return node.getName();
    return resolver_ ? resolver_->resolveQualifiedHostPath(node) : SharedString();
}

bool PackageUnpacker::writeFilePiece(const Record& record, const std::uint8_t* bytes, std::size_t count)
{
    if (consumed_ == 0) {
        const SharedString path = targetPath(*record.node);
        const bool created =
            !path.isEmpty() && writer_.createFile(static_cast<ContentFile*>(record.node.get()), path);
        logFileCreated(path.view(), created, false);
        if (!created)
            return false;
        fileOpen_ = true;
        filePath_ = path;
        fileWritten_ = 0;
        adler_.init();
    }
    if (!writer_.writeData(static_cast<std::uint32_t>(count), bytes)) {
        logWriteFailed();
        return false;
    }
    adler_.update(count, bytes);
    fileWritten_ += count;
    if (consumed_ + count < record.dataSize)
        return true;
    pending_.push_back({filePath_, record.dataSize, adler_.final()});
    fileOpen_ = false;
    fileWritten_ = 0;
    if (!writer_.finishFile()) {
        logCloseFailed();
        return false;
    }
    return true;
}

bool PackageUnpacker::createFolder(const Record& record)
{
    const SharedString path = targetPath(*record.node);
    const bool created =
        !path.isEmpty() && writer_.createFolder(static_cast<ContentFolder*>(record.node.get()), path);
    logFolderCreated(path.view(), created, false);
    return created;
}

bool PackageUnpacker::applyFragments()
{
    for (std::size_t slot = 0; slot < fragments_.size(); ++slot) {
        const std::vector<std::uint8_t>& bytes = fragments_[slot];
        if (bytes.empty())
            continue;
        XmlParseError error;
        if (!applyPackageFragment(*feature_, kFragmentOrder[slot], bytes, &error))
            return refuse(fragmentRecords_[slot], u"the XML fragment of type %u does not parse: at byte %I64u: %hs",
                          kFragmentOrder[slot], static_cast<std::uint64_t>(error.offset), error.rule);
    }
    return true;
}

void PackageUnpacker::closeUnfinished(bool remove)
{
    if (!fileOpen_)
        return;
    fileOpen_ = false;
    writer_.finishFile();
    if (remove)
        deleteFileOrLog(host_, filePath_);
}

void PackageUnpacker::discardWritten(std::uint64_t& bytes)
{
    bytes = fileWritten_;
    closeUnfinished(true);
    for (const Written& file : pending_) {
        deleteFileOrLog(host_, file.path);
        bytes += file.size;
    }
    pending_.clear();
    // Nothing written is left to keep, so a later pass would write it all.
    skipCount_ = 0;
    reset();
}

void PackageUnpacker::keepVerified(std::uint64_t& bytes)
{
    bytes = fileWritten_;
    closeUnfinished(false);
    // A pass that failed before its header gives no record list to walk: what
    // earlier passes kept stays as it is.
    if (!headerParsed_) {
        reset();
        return;
    }
    std::vector<SharedString> paths;
    paths.reserve(pending_.size());
    for (const Written& file : pending_)
        paths.push_back(file.path);
    std::vector<FileChecksum> sums;
    const bool read = host_.computeFileChecksums(paths, sums) && sums.size() == paths.size();

    // Records at or past the one this pass failed on were never completed,
    // unless an earlier pass completed them.
    const std::size_t reached = std::max(current_, skipCount_);
    std::size_t good = 0;
    std::size_t files = 0;
    for (std::size_t i = 0; read && i < records_.size() && i < reached; ++i) {
        if (records_[i].type == kPackageRecordFile) {
            if (files >= pending_.size())
                break;
            const Written& file = pending_[files];
            // The host reports 32-bit sizes, so a file of 4 GiB or more never verifies.
            const bool verified = file.size == 0 || (file.size <= 0xFFFFFFFFu && sums[files].size == file.size &&
                                                     sums[files].checksum == file.checksum);
            if (!verified)
                break;
            ++files;
        }
        good = i + 1;
    }
    skipCount_ = good;
    for (std::size_t i = files; i < pending_.size(); ++i)
        bytes += pending_[i].size;
    pending_.resize(files);
    reset();
}

void PackageUnpacker::reset()
{
    headerParsed_ = false;
    headerSize_ = 0;
    std::vector<std::uint8_t>().swap(headerBuffer_);
    for (std::vector<std::uint8_t>& fragment : fragments_)
        std::vector<std::uint8_t>().swap(fragment);
    records_.clear();
    current_ = 0;
    consumed_ = 0;
    done_ = false;
    failed_ = false;
    fileWritten_ = 0;
    feature_ = newFeature();
}

}  // namespace druvex
