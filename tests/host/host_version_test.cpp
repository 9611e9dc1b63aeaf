// Version resources of program files: images built here byte by byte, read
// whole, cut short and damaged.
#include "host/pe_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/host_fixture.h"
#include "support/pe_images.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::buildPeImage;
using test::kSectionOffset;
using test::kVersionBlock;
using test::kVersionBlockSize;
using test::putLe16;
using test::putLe32;

// File version 1.2.3.4, product version 5.6.7.8.
const PeFixedVersion kVersions{0x00010002, 0x00030004, 0x00050006, 0x00070008};

TEST(HostFilesVersionReader, ReadsBothImageKinds)
{
    for (const bool pe32Plus : {false, true}) {
        PeFixedVersion read;
        ASSERT_TRUE(readPeFixedVersion(buildPeImage(kVersions, pe32Plus), read)) << pe32Plus;
        EXPECT_EQ(read.productVersionMS, 0x00050006u);
        EXPECT_EQ(read.productVersionLS, 0x00070008u);
        EXPECT_EQ(read.fileVersionMS, 0x00010002u);
        EXPECT_EQ(read.fileVersionLS, 0x00030004u);
    }
}

TEST(HostFilesVersionReader, RefusesEveryCutBeforeTheBlockEndsAndNeverReadsPastTheEnd)
{
    const Bytes whole = buildPeImage(kVersions);
    const std::size_t needed = kSectionOffset + kVersionBlock + kVersionBlockSize;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        // Only the exact bytes of the cut-off image are given, so the sanitizers
        // see any read beyond them.
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        PeFixedVersion read;
        EXPECT_EQ(readPeFixedVersion(cut, read), length >= needed) << length;
    }
}

TEST(HostFilesVersionReader, DamagedImagesAreRefusedOrReadWithoutHarm)
{
    const Bytes whole = buildPeImage(kVersions);
    for (std::size_t offset = 0; offset < kSectionOffset + kVersionBlock + kVersionBlockSize; ++offset) {
        for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x7F}, std::uint8_t{0xFF}}) {
            Bytes damaged = whole;
            damaged[offset] = value;
            PeFixedVersion read;
            readPeFixedVersion(damaged, read);
        }
    }
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
    };
    const Case refused[] = {
        {"no MZ", 0, 0},
        {"no PE signature", 0x40, 0},
        {"unknown optional header", 0x58, 0x107},
        {"no version type", kSectionOffset + 16, 3},
        {"language is a folder", kSectionOffset + 0x30 + 20, 0x80000000u | 0x48},
        {"short block", kSectionOffset + 0x4C, 60},
        {"wrong key", kSectionOffset + kVersionBlock + 6, 'X'},
        {"short fixed part", kSectionOffset + kVersionBlock + 2, 20},
        {"no signature", kSectionOffset + kVersionBlock + 40, 0},
        {"data outside any section", kSectionOffset + 0x48, 0x5000},
    };
    for (const Case& c : refused) {
        Bytes damaged = whole;
        putLe16(damaged, c.offset, c.value & 0xFFFF);
        if (c.value > 0xFFFF || c.offset % 4 == 0)
            putLe32(damaged, c.offset, c.value);
        PeFixedVersion read;
        EXPECT_FALSE(readPeFixedVersion(damaged, read)) << c.what;
    }
}

class HostFilesVersion : public test::HostFixture {
protected:
    void writeImage(const char* path, const Bytes& image)
    {
        device().writeFile(path, std::string(image.begin(), image.end()));
    }
};

TEST_F(HostFilesVersion, AnswersTheProductVersion)
{
    writeImage("Program Files/App/app.exe", buildPeImage(kVersions));
    std::uint16_t major = 0, minor = 0, build = 0, revision = 0;
    ASSERT_TRUE(host().getFileVersion(u"\\program files\\app\\APP.EXE", major, minor, build, revision));
    EXPECT_EQ((std::vector<int>{major, minor, build, revision}), (std::vector<int>{5, 6, 7, 8}));
}

TEST_F(HostFilesVersion, UnreadableFilesGiveZeroes)
{
    const Bytes whole = buildPeImage(kVersions);
    writeImage("cut.dll", Bytes(whole.begin(), whole.begin() + kSectionOffset + 0x60));
    device().writeFile("text.dll", "just some text, not a program");
    device().writeFile("empty.dll", "");
    for (const char16_t* path : {u"\\cut.dll", u"\\text.dll", u"\\empty.dll", u"\\missing.dll", u"\\Windows"}) {
        std::uint16_t major = 9, minor = 9, build = 9, revision = 9;
        EXPECT_FALSE(host().getFileVersion(SharedString(path), major, minor, build, revision));
        EXPECT_EQ((std::vector<int>{major, minor, build, revision}), (std::vector<int>{0, 0, 0, 0}));
    }
}

}  // namespace
}  // namespace druvex
