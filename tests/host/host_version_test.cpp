// Version resources of program files: images built here byte by byte, read
// whole, cut short and damaged.
#include "host/pe_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/host_fixture.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& image, std::size_t offset, std::uint32_t value)
{
    image[offset] = static_cast<std::uint8_t>(value);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(Bytes& image, std::size_t offset, std::uint32_t value)
{
    put16(image, offset, value & 0xFFFF);
    put16(image, offset + 2, value >> 16);
}

constexpr std::size_t kSectionOffset = 0x200;
constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kVersionBlock = 0x58;  // within the section
constexpr std::size_t kVersionBlockSize = 92;

// An image with one resource section holding one version resource: the
// directories for type 16, name 1 and language 0x409, the data entry, and the
// version block with its fixed part.
Bytes buildImage(const PeFixedVersion& version, bool pe32Plus = false)
{
    Bytes image(kSectionOffset + 0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, 0x40);
    image[0x40] = 'P';
    image[0x41] = 'E';
    const std::size_t coff = 0x44;
    const std::uint32_t optionalSize = pe32Plus ? 240 : 224;
    put16(image, coff, 0x01C2);  // ARM Thumb, as the device's programs
    put16(image, coff + 2, 1);
    put16(image, coff + 16, optionalSize);
    const std::size_t optional = coff + 20;
    put16(image, optional, pe32Plus ? 0x20B : 0x10B);
    const std::size_t directories = optional + (pe32Plus ? 112 : 96);
    put32(image, directories - 4, 16);
    put32(image, directories + 16, kSectionRva);
    put32(image, directories + 20, 0x200);
    const std::size_t section = optional + optionalSize;
    std::copy_n(".rsrc", 5, image.begin() + static_cast<std::ptrdiff_t>(section));
    put32(image, section + 8, 0x200);
    put32(image, section + 12, kSectionRva);
    put32(image, section + 16, 0x200);
    put32(image, section + 20, kSectionOffset);

    const std::size_t resources = kSectionOffset;
    auto directory = [&](std::size_t at, std::uint32_t id, std::uint32_t data) {
        put16(image, resources + at + 14, 1);
        put32(image, resources + at + 16, id);
        put32(image, resources + at + 20, data);
    };
    directory(0x00, 16, 0x80000000u | 0x18);
    directory(0x18, 1, 0x80000000u | 0x30);
    directory(0x30, 0x409, 0x48);
    put32(image, resources + 0x48, kSectionRva + kVersionBlock);
    put32(image, resources + 0x4C, kVersionBlockSize);

    const std::size_t block = resources + kVersionBlock;
    put16(image, block, kVersionBlockSize);
    put16(image, block + 2, 52);
    const std::u16string key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i)
        put16(image, block + 6 + 2 * i, key[i]);
    put32(image, block + 40, 0xFEEF04BDu);
    put32(image, block + 44, 0x10000);
    put32(image, block + 48, version.fileVersionMS);
    put32(image, block + 52, version.fileVersionLS);
    put32(image, block + 56, version.productVersionMS);
    put32(image, block + 60, version.productVersionLS);
    return image;
}

// File version 1.2.3.4, product version 5.6.7.8.
const PeFixedVersion kVersions{0x00010002, 0x00030004, 0x00050006, 0x00070008};

TEST(HostFilesVersionReader, ReadsBothImageKinds)
{
    for (const bool pe32Plus : {false, true}) {
        PeFixedVersion read;
        ASSERT_TRUE(readPeFixedVersion(buildImage(kVersions, pe32Plus), read)) << pe32Plus;
        EXPECT_EQ(read.productVersionMS, 0x00050006u);
        EXPECT_EQ(read.productVersionLS, 0x00070008u);
        EXPECT_EQ(read.fileVersionMS, 0x00010002u);
        EXPECT_EQ(read.fileVersionLS, 0x00030004u);
    }
}

TEST(HostFilesVersionReader, RefusesEveryCutBeforeTheBlockEndsAndNeverReadsPastTheEnd)
{
    const Bytes whole = buildImage(kVersions);
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
    const Bytes whole = buildImage(kVersions);
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
        put16(damaged, c.offset, c.value & 0xFFFF);
        if (c.value > 0xFFFF || c.offset % 4 == 0)
            put32(damaged, c.offset, c.value);
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
    writeImage("Program Files/App/app.exe", buildImage(kVersions));
    std::uint16_t major = 0, minor = 0, build = 0, revision = 0;
    ASSERT_TRUE(host().getFileVersion(u"\\program files\\app\\APP.EXE", major, minor, build, revision));
    EXPECT_EQ((std::vector<int>{major, minor, build, revision}), (std::vector<int>{5, 6, 7, 8}));
}

TEST_F(HostFilesVersion, UnreadableFilesGiveZeroes)
{
    const Bytes whole = buildImage(kVersions);
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
