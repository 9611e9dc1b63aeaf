// What the package unpacker's tests share: a node writer that records the
// calls it gets (and passes them on to another writer, or keeps the files in
// memory), with one-shot faults; and a path resolver that maps the bracketed
// top-level roots to folders. Header only: the test executables that include
// it link the payload and data libraries.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "text/shared_string.h"
#include "data/content_tree.h"
#include "fileutil/file_util.h"
#include "payload/package_node_writer.h"

namespace druvex::test {

inline std::string narrow(std::u16string_view text)
{
    const SharedStringA utf8 = toUtf8(SharedString(text));
    return std::string(utf8.c_str(), static_cast<std::size_t>(utf8.length()));
}

class RecordingNodeWriter final : public PackageNodeWriter {
public:
    explicit RecordingNodeWriter(PackageNodeWriter* inner = nullptr) : inner_(inner) {}

    bool createFolder(ContentFolder* node, const SharedString& path) override
    {
        calls.push_back("folder " + narrow(path.view()));
        folderNodes.push_back(node);
        if (matches(path, failFolder)) {
            failFolder.clear();
            return false;
        }
        return inner_ ? inner_->createFolder(node, path) : true;
    }
    bool createFile(ContentFile* node, const SharedString& path) override
    {
        calls.push_back("file " + narrow(path.view()));
        fileNodes.push_back(node);
        current_ = path.view();
        writesOfFile_ = 0;
        bytesOfFile = 0;
        if (matches(path, failCreate)) {
            failCreate.clear();
            return false;
        }
        if (!inner_)
            files[current_].clear();
        return inner_ ? inner_->createFile(node, path) : true;
    }
    bool writeData(std::uint32_t size, const std::uint8_t* bytes) override
    {
        ++writes;
        ++writesOfFile_;
        if (!failWriteFile.empty() && current_.ends_with(failWriteFile) && writesOfFile_ == failWriteOfFile) {
            failWriteFile.clear();
            return false;
        }
        bytesOfFile += size;
        if (inner_)
            return inner_->writeData(size, bytes);
        files[current_].insert(files[current_].end(), bytes, bytes + size);
        return true;
    }
    bool finishFile() override
    {
        calls.push_back("finish");
        if (failFinish) {
            failFinish = false;
            if (inner_)
                inner_->finishFile();
            return false;
        }
        return inner_ ? inner_->finishFile() : true;
    }

    // The creates and closes in order ("folder P", "file P", "finish").
    std::vector<std::string> calls;
    std::vector<ContentFolder*> folderNodes;
    std::vector<ContentFile*> fileNodes;
    int writes = 0;
    // The bytes passed on for the file created last.
    std::uint64_t bytesOfFile = 0;
    // Without an inner writer: the bytes of each file by path.
    std::map<std::u16string, std::vector<std::uint8_t>> files;

    // One-shot faults by the end of the path; the write fault hits the
    // failWriteOfFile-th write of that file (from 1).
    std::u16string failFolder;
    std::u16string failCreate;
    std::u16string failWriteFile;
    int failWriteOfFile = 1;
    bool failFinish = false;

private:
    static bool matches(const SharedString& path, const std::u16string& suffix)
    {
        return !suffix.empty() && path.view().ends_with(suffix);
    }

    PackageNodeWriter* inner_;
    std::u16string current_;
    int writesOfFile_ = 0;
};

// Maps a node's top-level folder by its exact name ("<TARGETDIR>") to a
// folder and joins the rest of its path; an unknown root resolves to nothing.
class TargetFolderResolver final : public PackagePathResolver {
public:
    TargetFolderResolver& map(std::u16string root, std::u16string folder)
    {
        roots_[std::move(root)] = std::move(folder);
        return *this;
    }

    SharedString resolveQualifiedHostPath(const ContentItem& node) override
    {
        SharedString top;
        SharedString rest;
        node.splitTopFolder(top, rest);
        const auto found = roots_.find(std::u16string(top.view()));
        if (found == roots_.end())
            return {};
        const SharedString folder(std::u16string_view(found->second));
        return rest.isEmpty() ? folder : joinPath(folder, rest);
    }

private:
    std::map<std::u16string, std::u16string> roots_;
};

}  // namespace druvex::test
