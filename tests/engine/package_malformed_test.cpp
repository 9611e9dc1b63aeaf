// Malformed packages unpacked into a device folder: each fails, none writes
// anything outside its target folder, and none crashes or allocates by a size
// it read (the sanitizer build runs the same corpus); then a few thousand
// random mutations of a sound package.
#include <gtest/gtest.h>

#include <random>

#include "platform/input_limits.h"
#include "fileutil/operation_log.h"
#include "engine/host_node_writer.h"
#include "engine_fixture.h"
#include "package_writer/package_writer.h"
#include "payload/package_header.h"
#include "support/package_fixtures.h"

namespace druvex {
namespace {

using test::Bytes;
using test::toBytes;

void setLe(Bytes& bytes, std::size_t at, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A header of version 5 holding the (value, width) fields, its size word set.
Bytes headerOf(const std::vector<std::pair<std::uint64_t, int>>& fields)
{
    Bytes out(12, 0);
    out[8] = 5;
    for (const auto& [value, width] : fields) {
        out.resize(out.size() + static_cast<std::size_t>(width));
        setLe(out, out.size() - static_cast<std::size_t>(width), value, width);
    }
    setLe(out, 0, out.size(), 8);
    return out;
}

Bytes soundPackage()
{
    tools::PackageWriter writer;
    writer.addData(kPackageRecordRegistry,
                   toBytes("<Registry><HKEY_CURRENT_USER><Key Name=\"S\" Flag=\"Automatic\"/></HKEY_CURRENT_USER>"
                             "</Registry>"));
    writer.openFolder(u"<TARGETDIR>").openFolder(u"a").addFile(u"x.txt", Bytes(100, 'x')).closeFolder();
    writer.addFile(u"y", Bytes(50, 'y')).closeFolder();
    return writer.build();
}

// "<TARGETDIR>" holding a folder `name` that holds a file.
Bytes packageWithName(const std::u16string& top, const std::u16string& name)
{
    tools::PackageWriter writer;
    writer.openFolder(top).openFolder(name).addFile(u"x.txt", toBytes("escaped")).closeFolder().closeFolder();
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
    // A folder record "T": type 2, name length 1, the name, then its fields.
    cases.push_back({"name past the header", headerOf({{2, 4}, {0xFFFF, 2}, {7, 4}})});
    cases.push_back({"extension field past the header",
                     headerOf({{2, 4}, {1, 2}, {u'T', 2}, {0, 4}, {0, 4}, {9, 4}, {0x7FFFFFFF, 4}, {0, 4}, {7, 4}})});
    cases.push_back({"data sizes that overflow 2^64", headerOf({{12, 4}, {~0ull, 8}, {12, 4}, {1, 8}, {7, 4}})});
    cases.push_back({"fragment above the limit", headerOf({{kPackageRecordRegistry, 4}, {kMaxXmlFragmentSize + 1, 8},
                                                          {7, 4}})});
    cases.push_back({"4G children announced that never come",
                     headerOf({{2, 4}, {1, 2}, {u'T', 2}, {0, 4}, {0xFFFFFFFF, 4}, {0, 4}})});
    std::vector<std::pair<std::uint64_t, int>> deep;
    for (int i = 0; i < 100000; ++i)
        deep.insert(deep.end(), {{2, 4}, {1, 2}, {u'd', 2}, {0, 4}, {1, 4}, {0, 4}});
    deep.push_back({7, 4});
    cases.push_back({"nesting 100,000 deep", headerOf(deep)});

    for (const char16_t* name : {u"..", u".", u"a/b", u"a\\b", u"..\\..", u"<SYSDIR>", u"c:x", u"", u"a\nb"})
        cases.push_back({"folder named " + test::narrow(name), packageWithName(u"<TARGETDIR>", name)});
    for (const char16_t* top : {u"<TARGETDIR>\\..\\..", u"..", u"<TARGETDIR>/./x", u""})
        cases.push_back({"top folder named " + test::narrow(top), packageWithName(top, u"a")});

    tools::PackageWriter badFragment;
    badFragment.openFolder(u"<TARGETDIR>").addFile(u"f", toBytes("f")).closeFolder();
    badFragment.addData(kPackageRecordShortcuts, toBytes("<Shortcuts><Shortcut"));
    cases.push_back({"fragment that does not parse", badFragment.build()});
    return cases;
}

class PackageUnpackerMalformed : public test::EngineHostFixture {
protected:
    void SetUp() override
    {
        EngineHostFixture::SetUp();
        resolver_.map(u"<TARGETDIR>", u"\\Program Files\\Target");
        // The application log is made on first use, in the device's temporary
        // folder: it is there before the snapshot.
        logInfo(u"Unpacking malformed packages");
        before_ = deviceTree();
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
        const bool result = test::feedPackage(unpacker, stream, [&] {
            return random ? 1 + (*random)() % 300 : stream.size();
        });
        std::uint64_t bytes = 0;
        unpacker.discardWritten(bytes);
        return result;
    }

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
