// The device, host and helpers that the 7z backup tests share: sources with
// fixed times, backups written through the device host, archives as bytes
// with their plain header patched in place, and a sink that records what an
// extraction hands it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/wince_hal_access.h"
#include "payload/seven_zip_header.h"
#include "payload/seven_zip_number.h"
#include "payload/seven_zip_reader.h"
#include "payload/seven_zip_writer.h"
#include "payload_test_support.h"

namespace druvex::test {

// 2021-03-02 23:46:07.1234567 UTC as 100-ns units since 1601: a backup keeps
// the sub-second part, as 7z stores it.
constexpr std::uint64_t kSourceTime = 132592023671234567ull;
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ull;

inline std::u16string u16(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

inline SharedString shared(std::string_view text)
{
    return SharedString(std::u16string_view(u16(text)));
}

// A device path "\<relative with backslashes>".
inline SharedString devicePath(std::string_view relative)
{
    std::string path = "\\" + std::string(relative);
    for (char& ch : path)
        if (ch == '/')
            ch = '\\';
    return shared(path);
}

// Where the plain header and the encoded header lie (CRCs not checked).
struct Layout {
    std::size_t header = 0, headerSize = 0, encoded = 0, encodedSize = 0;
};

inline Layout layoutOf(const Bytes& archive)
{
    Layout layout{0, 0, 32 + static_cast<std::size_t>(loadLittleEndian64(&archive[12])),
                  static_cast<std::size_t>(loadLittleEndian64(&archive[20]))};
    SevenZipEncodedHeader encoded;
    EXPECT_TRUE(parseSevenZipEncodedHeader(std::span(archive).subspan(layout.encoded, layout.encodedSize), encoded));
    layout.header = 32 + static_cast<std::size_t>(encoded.headerPosition);
    layout.headerSize = static_cast<std::size_t>(encoded.headerSize);
    return layout;
}

// Puts the encoded header at `encoded` and points a fresh start header at it.
inline void setEncodedHeader(Bytes& archive, std::size_t encoded, const Bytes& bytes)
{
    archive.resize(encoded);
    archive.insert(archive.end(), bytes.begin(), bytes.end());
    const auto start = buildSevenZipStartHeader({encoded - 32, bytes.size(), sevenZipCrc(bytes)});
    std::copy(start.begin(), start.end(), archive.begin());
}

// Replaces the first `from` in the plain header with `to` (same length) and
// makes the CRCs of the header chain agree again.
inline void patchHeader(Bytes& archive, const Bytes& from, const Bytes& to)
{
    const Layout layout = layoutOf(archive);
    const auto begin = archive.begin() + static_cast<std::ptrdiff_t>(layout.header);
    const auto end = begin + static_cast<std::ptrdiff_t>(layout.headerSize);
    const auto found = std::search(begin, end, from.begin(), from.end());
    ASSERT_NE(found, end);
    std::copy(to.begin(), to.end(), found);
    const std::uint32_t crc = sevenZipCrc(std::span(archive).subspan(layout.header, layout.headerSize));
    setEncodedHeader(archive, layout.encoded, buildSevenZipEncodedHeader({layout.header - 32, layout.headerSize, crc}));
}

inline Bytes utf16(std::string_view text)
{
    Bytes bytes;
    for (const char ch : text)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch), 0});
    return bytes;
}

class SevenZipFixture : public PayloadHostFixture {
protected:
    void SetUp() override
    {
        PayloadHostFixture::SetUp();
        device().makeFolder("Backup");
        device().makeFolder("Data");
        device().makeFolder("Restore");
    }

    std::shared_ptr<HalAccess> host() const { return host_; }

    // A source below fs/ with the fixed last-write time.
    void writeSource(std::string_view relative, std::string_view content)
    {
        device().writeFile(relative, content);
        setTime(relative);
    }
    void makeSourceFolder(std::string_view relative)
    {
        device().makeFolder(relative);
        setTime(relative);
    }
    // Folders too, which the device host cannot open to set their times.
    void setTime(std::string_view relative)
    {
        using Clock = std::filesystem::file_time_type::clock;
        const std::chrono::sys_time<std::chrono::nanoseconds> time(
            std::chrono::nanoseconds((kSourceTime - kFileTimeOf1970) * 100));
        std::filesystem::last_write_time(device().hostPath(relative), Clock::from_sys(time));
    }

    // Backs up the (source below fs/, archive name) pairs into Backup/<archive>.
    bool backUp(const std::vector<std::pair<std::string, std::string>>& files,
                const std::string& archive = "out.7z", SevenZipProgressListener* listener = nullptr,
                std::shared_ptr<HalAccess> through = {}) const
    {
        SevenZipWriter writer;
        if (!writer.open(through ? through : host_, devicePath("Backup/" + archive)))
            return false;
        for (const auto& [source, name] : files)
            if (!writer.addPath(devicePath(source), shared(name)))
                return false;
        return writer.close(listener);
    }

    Bytes archiveBytes(const std::string& archive = "out.7z") { return readFileBytes(archiveHostPath(archive)); }
    void writeArchive(const Bytes& bytes, const std::string& archive = "out.7z")
    {
        writeFileBytes(archiveHostPath(archive), bytes);
    }
    std::filesystem::path archiveHostPath(const std::string& archive = "out.7z")
    {
        return device().hostPath("Backup/" + archive);
    }

    bool openArchive(SevenZipReader& reader, const std::string& archive = "out.7z") const
    {
        return reader.open(host_, devicePath("Backup/" + archive));
    }
};

// Records an extraction as lines ("folder jobs", "begin a.txt 3", "end a.txt
// ok", "end a.txt bad") and the bytes of each received file; answers as told.
class SevenZipRecordingSink : public SevenZipSink {
public:
    int beginFile(const SharedString& name, std::uint64_t size) override
    {
        current_ = narrow(name);
        events.push_back("begin " + current_ + " " + std::to_string(size));
        const auto answer = beginAnswers.find(current_);
        const int result = answer == beginAnswers.end() ? kSevenZipReceive : answer->second;
        if (result == kSevenZipReceive)
            files[current_];
        return result;
    }
    int write(const std::uint8_t* data, std::uint32_t count) override
    {
        files[current_].insert(files[current_].end(), data, data + count);
        ++writes;
        return writes == stopAtWrite ? 1 : 0;
    }
    int endFile(const SevenZipReaderEntry& entry, bool crcMatched) override
    {
        events.push_back("end " + narrow(entry.name) + (crcMatched ? " ok" : " bad"));
        return narrow(entry.name) == stopAfter ? 1 : 0;
    }
    void createFolder(const SharedString& name, const SevenZipReaderEntry&) override
    {
        events.push_back("folder " + narrow(name));
    }
    void progress(std::uint32_t percent) override { percents.push_back(percent); }

    static std::string narrow(const SharedString& text)
    {
        return std::string(text.view().begin(), text.view().end());
    }

    std::map<std::string, int> beginAnswers;
    std::string stopAfter;
    int stopAtWrite = 0;
    int writes = 0;
    std::vector<std::string> events;
    std::map<std::string, Bytes> files;
    std::vector<std::uint32_t> percents;

private:
    std::string current_;
};

}  // namespace druvex::test
