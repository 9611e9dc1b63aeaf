#include "package_writer/package_writer.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace druvex::tools {

namespace {

constexpr std::uint32_t kTypeFile = 1;
constexpr std::uint32_t kTypeFolder = 2;

void putLe(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putText(Bytes& out, const std::u16string& text)
{
    if (text.size() > 0xFFFF)
        throw std::length_error("a package name holds at most 65,535 units");
    putLe(out, text.size(), 2);
    for (const char16_t unit : text)
        putLe(out, unit, 2);
}

void putExtensions(Bytes& out, const std::vector<PackageExtension>& extensions)
{
    for (const auto& [tag, bytes] : extensions) {
        putLe(out, tag, 4);
        putLe(out, bytes.size(), 4);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    putLe(out, 0, 4);
}

}  // namespace

struct PackageWriter::Node {
    std::uint32_t type = kTypeFolder;
    std::u16string name;
    std::uint32_t flags = 0;
    std::uint64_t timeStamp = 0;
    std::uint64_t version = 0;
    std::vector<PackageExtension> extensions;
    Bytes data;
    std::filesystem::path source;  // when the data come from a file
    std::uint64_t size = 0;
    std::vector<std::unique_ptr<Node>> children;

    void putHeader(Bytes& out) const
    {
        putLe(out, type, 4);
        if (type == kTypeFolder) {
            putText(out, name);
            putLe(out, flags, 4);
            putLe(out, children.size(), 4);
            putExtensions(out, extensions);
            for (const auto& child : children)
                child->putHeader(out);
            return;
        }
        if (type == kTypeFile) {
            putText(out, name);
            putLe(out, flags, 4);
            putLe(out, size, 8);
            putLe(out, timeStamp, 8);
            putLe(out, version, 8);
            putExtensions(out, extensions);
            return;
        }
        putLe(out, size, 8);
    }

    // The records whose data follow the header, in stream order.
    void collectData(std::vector<const Node*>& out) const
    {
        if (type != kTypeFolder) {
            out.push_back(this);
            return;
        }
        for (const auto& child : children)
            child->collectData(out);
    }
};

PackageWriter::PackageWriter() : root_(std::make_unique<Node>()) {}

PackageWriter::~PackageWriter() = default;

PackageWriter::Node& PackageWriter::current()
{
    return open_.empty() ? *root_ : *open_.back();
}

PackageWriter& PackageWriter::openFolder(const std::u16string& name, std::uint32_t flags,
                                         std::vector<PackageExtension> extensions)
{
    auto node = std::make_unique<Node>();
    node->name = name;
    node->flags = flags;
    node->extensions = std::move(extensions);
    Node* raw = node.get();
    current().children.push_back(std::move(node));
    open_.push_back(raw);
    return *this;
}

PackageWriter& PackageWriter::closeFolder()
{
    if (!open_.empty())
        open_.pop_back();
    return *this;
}

PackageWriter& PackageWriter::addFile(const std::u16string& name, Bytes data, std::uint64_t timeStamp,
                                      std::uint64_t version, std::uint32_t flags,
                                      std::vector<PackageExtension> extensions)
{
    auto node = std::make_unique<Node>();
    node->type = kTypeFile;
    node->name = name;
    node->flags = flags;
    node->timeStamp = timeStamp;
    node->version = version;
    node->extensions = std::move(extensions);
    node->size = data.size();
    node->data = std::move(data);
    fileBytes_ += node->size;
    current().children.push_back(std::move(node));
    return *this;
}

PackageWriter& PackageWriter::addFileFrom(const std::u16string& name, const std::filesystem::path& source,
                                          std::uint64_t size, std::uint64_t timeStamp, std::uint64_t version,
                                          std::uint32_t flags)
{
    addFile(name, {}, timeStamp, version, flags);
    Node& node = *current().children.back();
    node.source = source;
    node.size = size;
    fileBytes_ += size;
    return *this;
}

PackageWriter& PackageWriter::addData(std::uint32_t type, Bytes data)
{
    auto node = std::make_unique<Node>();
    node->type = type;
    node->size = data.size();
    node->data = std::move(data);
    current().children.push_back(std::move(node));
    return *this;
}

Bytes PackageWriter::header(std::uint32_t version, std::uint32_t endType) const
{
    Bytes out;
    putLe(out, 0, 8);  // the size, known at the end
    putLe(out, version, 4);
    for (const auto& child : root_->children)
        child->putHeader(out);
    putLe(out, endType, 4);
    const std::uint64_t size = out.size();
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(size >> (8 * i));
    return out;
}

bool PackageWriter::write(std::ostream& out, std::uint32_t version, std::uint32_t endType) const
{
    PackageStreamReader reader(*this, version, endType);
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        const std::int64_t got = reader.read(buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            return static_cast<bool>(out);
        out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(got));
    }
}

Bytes PackageWriter::build(std::uint32_t version, std::uint32_t endType) const
{
    std::ostringstream out(std::ios::binary);
    if (!write(out, version, endType))
        return {};
    const std::string bytes = std::move(out).str();
    return Bytes(bytes.begin(), bytes.end());
}

PackageStreamReader::PackageStreamReader(const PackageWriter& writer, std::uint32_t version, std::uint32_t endType)
    : header_(writer.header(version, endType))
{
    writer.root_->collectData(records_);
    size_ = header_.size();
    for (const PackageWriter::Node* record : records_)
        size_ += record->size;
    memory_ = header_.data();
    left_ = header_.size();
}

PackageStreamReader::~PackageStreamReader() = default;

bool PackageStreamReader::nextPiece()
{
    file_.reset();
    memory_ = nullptr;
    left_ = 0;
    if (next_ == records_.size())
        return false;
    const PackageWriter::Node& record = *records_[next_++];
    left_ = record.size;
    if (record.source.empty()) {
        memory_ = record.data.data();
        return true;
    }
    file_ = std::make_unique<std::ifstream>(record.source, std::ios::binary);
    if (!*file_)
        failed_ = true;
    return true;
}

std::int64_t PackageStreamReader::read(std::uint8_t* buffer, std::size_t count)
{
    std::size_t done = 0;
    while (done < count && !failed_) {
        if (left_ == 0 && !nextPiece())
            break;
        if (failed_)
            break;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left_, count - done));
        if (!file_) {
            std::copy_n(memory_, piece, buffer + done);
            memory_ += piece;
        } else {
            file_->read(reinterpret_cast<char*>(buffer + done), static_cast<std::streamsize>(piece));
            if (static_cast<std::size_t>(file_->gcount()) != piece) {
                failed_ = true;
                break;
            }
        }
        done += piece;
        left_ -= piece;
    }
    if (failed_)
        return -1;
    return static_cast<std::int64_t>(done);
}

std::uint64_t toWindowsFileTime(std::filesystem::file_time_type time)
{
    // 100 ns units between 1601-01-01 and 1970-01-01.
    constexpr std::int64_t kUnixEpoch = 116444736000000000;
    const auto system = std::chrono::file_clock::to_sys(time);
    const auto units = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
        system.time_since_epoch());
    return static_cast<std::uint64_t>(units.count() + kUnixEpoch);
}

namespace {

bool addChildren(PackageWriter& writer, const std::filesystem::path& folder, std::string& reason)
{
    std::error_code error;
    std::vector<std::filesystem::directory_entry> entries;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error) {
        reason = "cannot list " + folder.string() + ": " + error.message();
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& entry : entries) {
        const std::u16string name = entry.path().filename().u16string();
        if (entry.is_directory()) {
            writer.openFolder(name);
            if (!addChildren(writer, entry.path(), reason))
                return false;
            writer.closeFolder();
            continue;
        }
        if (!entry.is_regular_file())
            continue;
        writer.addFileFrom(name, entry.path(), entry.file_size(), toWindowsFileTime(entry.last_write_time()));
    }
    return true;
}

}  // namespace

bool addFolderTree(PackageWriter& writer, const std::filesystem::path& folder, const std::u16string& topName,
                   std::string& reason)
{
    writer.openFolder(topName);
    const bool added = addChildren(writer, folder, reason);
    writer.closeFolder();
    return added;
}

}  // namespace druvex::tools
