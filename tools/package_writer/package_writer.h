// PackageWriter: builds feature package streams (the header's tree of folder,
// file and data records, then the records' data in record order) for the
// archive tool, the tests and the benchmarks. It is a development tool: the
// installer itself only reads packages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace druvex::tools {

using Bytes = std::vector<std::uint8_t>;

// An extension field of a folder or file record: tag (not 0) and bytes.
using PackageExtension = std::pair<std::uint32_t, Bytes>;

class PackageWriter {
public:
    PackageWriter();
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // Records are added to the folder opened last (the top level when none is
    // open). openFolder starts a folder record; closeFolder ends it.
    PackageWriter& openFolder(const std::u16string& name, std::uint32_t flags = 0,
                              std::vector<PackageExtension> extensions = {});
    PackageWriter& closeFolder();
    // A file whose data is given.
    PackageWriter& addFile(const std::u16string& name, Bytes data, std::uint64_t timeStamp = 0,
                           std::uint64_t version = 0, std::uint32_t flags = 0,
                           std::vector<PackageExtension> extensions = {});
    // A file whose data is read from a host file when the stream is written;
    // `size` must be its size then.
    PackageWriter& addFileFrom(const std::u16string& name, const std::filesystem::path& source, std::uint64_t size,
                               std::uint64_t timeStamp = 0, std::uint64_t version = 0, std::uint32_t flags = 0);
    // A data record (an XML fragment for types 3 to 9, or data to pass over).
    PackageWriter& addData(std::uint32_t type, Bytes data);

    // The header alone (folders still open are closed in it).
    Bytes header(std::uint32_t version = 5, std::uint32_t endType = 7) const;
    // Header and data. False when a source file cannot be read whole.
    bool write(std::ostream& out, std::uint32_t version = 5, std::uint32_t endType = 7) const;
    // Header and data; empty when a source file cannot be read whole.
    Bytes build(std::uint32_t version = 5, std::uint32_t endType = 7) const;

    // The data sizes of the file records added up (an archive entry's unpacked size).
    std::uint64_t fileBytes() const { return fileBytes_; }

private:
    friend class PackageStreamReader;
    struct Node;
    Node& current();

    std::unique_ptr<Node> root_;
    std::vector<Node*> open_;
    std::uint64_t fileBytes_ = 0;
};

// Reads a writer's stream (header, then the records' data in record order)
// piece by piece with at most one source file open, so that the stream of a
// large tree is never held whole. The writer must outlive the reader and
// stay unchanged.
class PackageStreamReader {
public:
    explicit PackageStreamReader(const PackageWriter& writer, std::uint32_t version = 5, std::uint32_t endType = 7);
    ~PackageStreamReader();
    PackageStreamReader(const PackageStreamReader&) = delete;
    PackageStreamReader& operator=(const PackageStreamReader&) = delete;

    // The whole stream's size.
    std::uint64_t size() const { return size_; }
    // Fills up to `count` bytes of `buffer`: how many (0 at the end), or -1
    // when a source file cannot be read whole.
    std::int64_t read(std::uint8_t* buffer, std::size_t count);

private:
    bool nextPiece();

    Bytes header_;
    std::vector<const PackageWriter::Node*> records_;  // those with data, in stream order
    std::size_t next_ = 0;                            // the record after the current piece
    const std::uint8_t* memory_ = nullptr;            // the current piece when it is in memory
    std::unique_ptr<std::ifstream> file_;             // or when it comes from a file
    std::uint64_t left_ = 0;                          // bytes of the current piece not yet read
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

// Adds the tree below `folder` as a folder record `topName` (normally
// "<TARGETDIR>"): sub-folders and regular files, each level sorted by name,
// files with their last-write time as a Windows file time. False with the
// reason when the folder cannot be listed.
bool addFolderTree(PackageWriter& writer, const std::filesystem::path& folder, const std::u16string& topName,
                   std::string& reason);

// A Windows file time (100 ns units since 1601) from a host file time.
std::uint64_t toWindowsFileTime(std::filesystem::file_time_type time);

}  // namespace druvex::tools
