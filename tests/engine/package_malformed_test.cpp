// Malformed packages unpacked into a device folder: each fails, none writes
// anything outside its target folder, and none crashes or allocates by a size
// it read (the sanitizer build runs the same corpus); then a few thousand
// random mutations of a sound package.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "core/input_limits.h"
#include "engine/fileutil/operation_log.h"
#include "engine/host_node_writer.h"
#include "host/hal_access_wince.h"
#include "package_writer/package_writer.h"
#include "payload/package_header.h"
#include "payload/package_unpacker.h"
#include "support/device_fixture.h"
#include "support/package_fixtures.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

void putLe(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void setLe(Bytes& bytes, std::size_t at, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes soundPackage()
{
    tools::PackageWriter writer;
    writer.addData(kPackageRecordRegistry,
                   textBytes("<Registry><HKEY_CURRENT_USER><Key Name=\"S\" Flag=\"Automatic\"/></HKEY_CURRENT_USER>"
                             "</Registry>"));
    writer.openFolder(u"<TARGETDIR>").openFolder(u"a").addFile(u"x.txt", Bytes(100, 'x')).closeFolder();
    writer.addFile(u"y", Bytes(50, 'y')).closeFolder();
    return writer.build();
}

// "<TARGETDIR>" holding a folder `name` that holds a file.
Bytes packageWithName(const std::u16string& top, const std::u16string& name)
{
    tools::PackageWriter writer;
    writer.openFolder(top).openFolder(name).addFile(u"x.txt", textBytes("escaped")).closeFolder().closeFolder();
    return writer.build();
}

struct Malformed {
    std::string what;
    Bytes stream;
};

std::vector<Malformed> corpus()
{
    const Bytes sound = soundPackage();
    const std::uint64_t headerSize = readPackageHeaderSize(sound.data());
    std::vector<Malformed> cases;
    auto patched = [&](std::string what, std::size_t at, std::uint64_t value, int width) {
        Bytes bytes = sound;
        setLe(bytes, at, value, width);
        cases.push_back({std::move(what), std::move(bytes)});
    };
    patched("version 6", 8, 6, 4);
    patched("header size 4", 0, 4, 8);
    patched("header size 2^40", 0, 1ull << 40, 8);
    patched("header size above the limit", 0, kMaxPackageHeaderSize + 1, 8);
    patched("header size at the limit, stream ends", 0, kMaxPackageHeaderSize, 8);
    patched("header size one short", 0, headerSize - 1, 8);
    patched("header size one long", 0, headerSize + 1, 8);
    patched("fragment larger than the stream", 16, 1000000, 8);

    Bytes runOn = sound;
    runOn.push_back(0);
    cases.push_back({"data after the last record", runOn});
    cases.push_back({"cut inside a file", Bytes(sound.begin(), sound.end() - 20)});
    cases.push_back({"cut inside the header", Bytes(sound.begin(), sound.begin() + 40)});

    Bytes text;
    putLe(text, 2, 4);
    putLe(text, 0xFFFF, 2);  // a name that runs past the header
    putLe(text, 7, 4);
    Bytes pastEnd;
    putLe(pastEnd, 12 + text.size(), 8);
    putLe(pastEnd, 5, 4);
    pastEnd.insert(pastEnd.end(), text.begin(), text.end());
    cases.push_back({"text past the header", pastEnd});

    Bytes extension;
    putLe(extension, 0, 8);
    putLe(extension, 5, 4);
    putLe(extension, 2, 4);
    putLe(extension, 1, 2);
    putLe(extension, u'T', 2);
    putLe(extension, 0, 4);
    putLe(extension, 0, 4);
    putLe(extension, 9, 4);
    putLe(extension, 0x7FFFFFFF, 4);  // an extension field that runs past the header
    putLe(extension, 0, 4);
    putLe(extension, 7, 4);
    setLe(extension, 0, extension.size(), 8);
    cases.push_back({"extension field past the header", extension});

    Bytes overflow;
    putLe(overflow, 0, 8);
    putLe(overflow, 5, 4);
    putLe(overflow, 12, 4);
    putLe(overflow, ~0ull, 8);
    putLe(overflow, 12, 4);
    putLe(overflow, 1, 8);  // the data sizes add up past 2^64
    putLe(overflow, 7, 4);
    setLe(overflow, 0, overflow.size(), 8);
    cases.push_back({"data sizes that overflow", overflow});

    Bytes huge;
    putLe(huge, 0, 8);
    putLe(huge, 5, 4);
    putLe(huge, kPackageRecordRegistry, 4);
    putLe(huge, kMaxXmlFragmentSize + 1, 8);
    putLe(huge, 7, 4);
    setLe(huge, 0, huge.size(), 8);
    cases.push_back({"fragment above the limit", huge});

    Bytes children;
    putLe(children, 0, 8);
    putLe(children, 5, 4);
    putLe(children, 2, 4);
    putLe(children, 1, 2);
    putLe(children, u'T', 2);
    putLe(children, 0, 4);
    putLe(children, 0xFFFFFFFF, 4);  // children announced that never come
    putLe(children, 0, 4);
    setLe(children, 0, children.size(), 8);
    cases.push_back({"4G children announced", children});

    Bytes deep;
    putLe(deep, 0, 8);
    putLe(deep, 5, 4);
    for (int i = 0; i < 100000; ++i) {
        putLe(deep, 2, 4);
        putLe(deep, 1, 2);
        putLe(deep, u'd', 2);
        putLe(deep, 0, 4);
        putLe(deep, 1, 4);
        putLe(deep, 0, 4);
    }
    putLe(deep, 7, 4);
    setLe(deep, 0, deep.size(), 8);
    cases.push_back({"nesting 100,000 deep", deep});

    for (const char16_t* name : {u"..", u".", u"a/b", u"a\\b", u"..\\..", u"<SYSDIR>", u"c:x", u"", u"a\nb"})
        cases.push_back({"folder named " + test::narrow(name), packageWithName(u"<TARGETDIR>", name)});
    for (const char16_t* top : {u"<TARGETDIR>\\..\\..", u"..", u"<TARGETDIR>/./x", u""})
        cases.push_back({"top folder named " + test::narrow(top), packageWithName(top, u"a")});

    tools::PackageWriter badFragment;
    badFragment.openFolder(u"<TARGETDIR>").addFile(u"f", textBytes("f")).closeFolder();
    badFragment.addData(kPackageRecordShortcuts, textBytes("<Shortcuts><Shortcut"));
    cases.push_back({"fragment that does not parse", badFragment.build()});
    return cases;
}

class PackageUnpackerMalformed : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        host_ = std::make_shared<HalAccessWinCE>();
        resolver_.map(u"<TARGETDIR>", u"\\Program Files\\Target");
        // The application log is made on first use, in the device's temporary
        // folder: it is there before the snapshot.
        logInfo(u"Unpacking malformed packages");
        before_ = deviceTree();
    }
    void TearDown() override
    {
        host_.reset();
        DeviceFixture::TearDown();
    }

    std::set<std::string> deviceTree()
    {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(device().fsFolder()))
            paths.insert(fs::relative(entry.path(), device().fsFolder()).generic_string());
        return paths;
    }
    // Paths that appeared since SetUp outside the target folder.
    std::vector<std::string> escaped()
    {
        std::vector<std::string> outside;
        for (const std::string& path : deviceTree())
            if (!before_.contains(path) && path != "Program Files/Target" && !path.starts_with("Program Files/Target/"))
                outside.push_back(path);
        return outside;
    }

    bool unpack(const Bytes& stream, std::mt19937* random = nullptr)
    {
        HostNodeWriter writer(host_);
        PackageUnpacker unpacker(&resolver_, writer, *host_);
        unpacker.begin(static_cast<std::uint32_t>(stream.size()), 0);
        bool result = true;
        for (std::size_t at = 0; at < stream.size() && result;) {
            const std::size_t piece = std::min<std::size_t>(random ? 1 + (*random)() % 300 : stream.size(),
                                                            stream.size() - at);
            result = unpacker.write(static_cast<std::uint32_t>(piece), stream.data() + at);
            at += piece;
        }
        result = result && unpacker.finish();
        std::uint64_t bytes = 0;
        unpacker.discardWritten(bytes);
        return result;
    }

    std::shared_ptr<HalAccessWinCE> host_;
    test::TargetFolderResolver resolver_;
    std::set<std::string> before_;
};

TEST_F(PackageUnpackerMalformed, EachFailsAndNothingLeavesTheTarget)
{
    ASSERT_TRUE(unpack(soundPackage()));
    for (const Malformed& c : corpus()) {
        EXPECT_FALSE(unpack(c.stream)) << c.what;
        EXPECT_EQ(escaped(), std::vector<std::string>()) << c.what;
    }
}

TEST_F(PackageUnpackerMalformed, RandomMutationsStayInsideTheTarget)
{
    const Bytes sound = soundPackage();
    const std::size_t header = static_cast<std::size_t>(readPackageHeaderSize(sound.data()));
    std::mt19937 random(5);
    for (int round = 0; round < 3000; ++round) {
        Bytes stream = sound;
        const int changes = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = random() % 4 == 0 ? random() % stream.size() : random() % header;
            stream[at] = static_cast<std::uint8_t>(random() % 3 == 0 ? stream[at] ^ (1u << (random() % 8)) : random());
        }
        unpack(stream, &random);
    }
    EXPECT_EQ(escaped(), std::vector<std::string>());
}

}  // namespace
}  // namespace druvex
