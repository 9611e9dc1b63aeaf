// PackageUnpacker: the PayloadSink that unpacks a feature's package stream as
// it is decoded, in pieces of any size. It parses the header into the
// package's content tree (a Feature of its own), creates the folders and files
// on the target through a PackageNodeWriter, sums every file's bytes as it
// writes them, and applies the package's XML fragments (registry, environment
// variables, file associations, feature scripts, shortcuts, web-server
// settings) to its Feature at the end. After a failed pass the engine either
// rolls the package back (discardWritten) or keeps the files that verify and
// runs the stream again (keepVerified), which then writes only the rest.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/adler32.h"
#include "text/shared_string.h"
#include "payload/package_node_writer.h"
#include "payload/payload_sink.h"

namespace druvex {

class ContentItem;
class Feature;
class HalAccess;
struct PackageHeader;
struct PackageRecord;

// Why a pass was refused, for the log line of whoever runs the unpacker.
struct PackageRefusal {
    SharedString reason;       // empty when no pass was refused
    std::int64_t record = -1;  // index in the header of the record refused; -1 when none was
};

class PackageUnpacker final : public PayloadSink {
public:
    // `resolver` may be null when plain names are set; the resolver, the
    // writer and the host must outlive the unpacker.
    PackageUnpacker(PackagePathResolver* resolver, PackageNodeWriter& writer, HalAccess& host);
    ~PackageUnpacker() override;
    PackageUnpacker(const PackageUnpacker&) = delete;
    PackageUnpacker& operator=(const PackageUnpacker&) = delete;

    // Every node's target path becomes the node's own name, unresolved.
    void setPlainNames() { plainNames_ = true; }

    // Starts a pass over the stream.
    void begin(std::uint32_t sizeLow, std::uint32_t sizeHigh) override;
    // False for a malformed stream, a writer that fails, a fragment that does
    // not parse, or bytes after the last record.
    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
    // True when the header was read, every record processed and the fragments
    // applied.
    bool finish() override;

    // Ends a failed pass by removing every file this unpacker wrote in any
    // pass, the one left half-written included. `bytes` receives the bytes
    // those files held (for the engine's progress).
    void discardWritten(std::uint64_t& bytes);
    // Ends a failed pass by keeping the files that the host reads back with
    // the size and check word they were written with, in record order up to
    // the first that does not; the next pass over the stream passes over the
    // records kept. `bytes` receives the bytes of the files given up.
    void keepVerified(std::uint64_t& bytes);

    // The package's content tree and records as far as this pass read them.
    const std::shared_ptr<Feature>& feature() const { return feature_; }
    // The data sizes of the file records added up.
    std::uint64_t fileBytes() const { return fileBytes_; }
    // Records the next pass passes over (folders and files only: fragments
    // are always gathered again).
    std::size_t skipCount() const { return skipCount_; }
    // Why the last pass was refused; kept until the next pass begins. The
    // unpacker logs it too, as "Package refused: record <n>: <reason>".
    const PackageRefusal& lastRefusal() const { return refusal_; }

private:
    struct Record {
        std::uint32_t type;
        std::shared_ptr<ContentItem> node;  // folders and files
        std::uint64_t dataSize;
    };
    struct Written {
        SharedString path;
        std::uint64_t size;
        std::uint32_t checksum;
    };

    bool gatherHeader(const std::uint8_t*& bytes, std::size_t& left);
    bool checkHeaderSize();
    bool parseHeader(const std::uint8_t* bytes, std::size_t size);
    // Adds a record's node to the package's tree and the record to the list.
    bool addRecord(PackageRecord&& record);
    bool processData(const std::uint8_t*& bytes, std::size_t& left);
    bool writeFilePiece(const Record& record, const std::uint8_t* bytes, std::size_t count);
    bool createFolder(const Record& record);
    bool applyFragments();
    SharedString targetPath(const ContentItem& node);
    // Closes a file that was created but not finished; with `remove` it is
    // deleted too.
    void closeUnfinished(bool remove);
    // Logs and keeps the refusal (`record` -1 when no record is at fault) and
    // fails the pass.
    template <class... Args>
    bool refuse(std::int64_t record, const char16_t* pattern, const Args&... args);
    void reset();

    PackagePathResolver* resolver_;
    PackageNodeWriter& writer_;
    HalAccess& host_;
    std::shared_ptr<Feature> feature_;

    std::uint64_t announcedSize_ = 0;
    std::uint64_t headerSize_ = 0;
    std::vector<std::uint8_t> headerBuffer_;
    std::uint64_t fileBytes_ = 0;
    std::size_t skipCount_ = 0;
    // Fragment bytes by type 3, 4, 5, 6, 8 and 9, and the first record of each.
    std::array<std::vector<std::uint8_t>, 6> fragments_;
    std::array<std::int64_t, 6> fragmentRecords_{};
    PackageRefusal refusal_;
    bool headerParsed_ = false;
    bool plainNames_ = false;
    bool done_ = false;    // every record processed and the fragments applied
    bool failed_ = false;  // a write of this pass was refused

    std::vector<Record> records_;
    std::size_t current_ = 0;
    std::uint64_t consumed_ = 0;

    std::vector<Written> pending_;
    Adler32 adler_;
    // The file created and not yet finished, and the bytes written to it.
    bool fileOpen_ = false;
    SharedString filePath_;
    std::uint64_t fileWritten_ = 0;
};

}  // namespace druvex
