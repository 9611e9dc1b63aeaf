#include "platform/registry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/input_limits.h"
#include "platform/win_error.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr RegistryKey kHklm = kRegistryLocalMachine;

// The UTF-16LE bytes of a literal, embedded zeros included, without the
// literal's own terminator (write "\0" at the end for a terminated value).
template <std::size_t N>
Bytes units(const char16_t (&text)[N])
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < N; ++i)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(text[i] & 0xFF), static_cast<std::uint8_t>(text[i] >> 8)});
    return bytes;
}

std::uint32_t setDword(DeviceRegistry& registry, RegistryKey key, std::u16string_view name, std::uint32_t value)
{
    return registry.setValue(key, name, kRegDword, &value, 4);
}

// One value of the golden registry, as it must read back.
struct ExpectedValue {
    RegistryKey root;
    std::u16string_view key;
    std::u16string_view name;
    std::uint32_t type;
    Bytes data;
};

const std::vector<ExpectedValue>& goldenValues()
{
    static const std::vector<ExpectedValue> values = {
        {kHklm, u"Ident", u"", kRegString, units(u"default value\0")},
        {kHklm, u"Ident", u"Count", kRegDword, {43, 0, 0, 0}},
        {kHklm, u"Ident", u"OrigName", kRegString, units(u"MV5-1234\0")},
        {kHklm, u"Ident", u"Path", kRegExpandString, units(u"%windir%\\temp\0")},
        {kHklm, u"Ident", u"List", kRegMultiString, units(u"first\0second\0\0")},
        {kHklm, u"Ident", u"Blob", kRegBinary, {0x01, 0x02, 0xFF}},
        {kHklm, u"Ident", u"Empty", kRegBinary, {}},
        {kHklm, u"Ident", u"Odd", kRegString, {0x41, 0x00, 0x00}},
        {kHklm, u"Ident", u"Big", 11, {1, 0, 0, 0, 0, 0, 0, 0}},
        {kHklm, u"Ident", u"Short", kRegDword, {0x2A, 0x00}},
        {kHklm, u"Ident", u"Tabbed", kRegString, units(u"a\tb\0")},
        {kHklm, u"Ident", u"Quote \"\\ Gr\u00FC\u00DFe", kRegString,
         units(u"say \"hi\" \\ \u00E9t\u00E9 \U0001F600\0")},
        {kHklm, u"Ident", u"@", kRegString, units(u"\0")},
        {kHklm, u"Ident", u"alpha", kRegMultiString, units(u"\0\0")},
        {kHklm, u"Software\\Beta", u"On", kRegDword, {1, 0, 0, 0}},
        {kHklm, u"\u00C4lter", u"X", kRegString, units(u"y\0")},
        {kRegistryCurrentUser, u"Control Panel\\Desktop", u"Wallpaper", kRegString,
         units(u"\\Windows\\bg.bmp\0")},
        {kRegistryClassesRoot, u"", u"RootValue", kRegDword, {7, 0, 0, 0}},
    };
    return values;
}

void setExpected(DeviceRegistry& registry, const ExpectedValue& value)
{
    RegistryKey key = 0;
    ASSERT_EQ(registry.createKey(value.root, value.key, key), kErrorSuccess);
    ASSERT_EQ(registry.setValue(key, value.name, value.type, value.data.data(),
                                static_cast<std::uint32_t>(value.data.size())),
              kErrorSuccess);
    EXPECT_EQ(registry.closeKey(key), kErrorSuccess);
}

// The fixed sequence behind the golden file: every value of the table, plus
// changes that must leave no trace or keep the first spelling.
void writeGoldenSequence(DeviceRegistry& registry)
{
    RegistryKey ident = 0;
    ASSERT_EQ(registry.createKey(kHklm, u"Ident", ident), kErrorSuccess);
    ASSERT_EQ(setDword(registry, ident, u"Count", 42), kErrorSuccess);
    ASSERT_EQ(setDword(registry, ident, u"zeta", 42), kErrorSuccess);
    for (const ExpectedValue& value : goldenValues())
        setExpected(registry, value);  // also rewrites "Count"
    ASSERT_EQ(setDword(registry, ident, u"COUNT", 43), kErrorSuccess);
    ASSERT_EQ(registry.deleteValue(ident, u"ZETA"), kErrorSuccess);
    RegistryKey key = 0;
    ASSERT_EQ(registry.createKey(kHklm, u"software\\Orv\\Bluetooth\\Driver", key), kErrorSuccess);
    registry.closeKey(key);
    ASSERT_EQ(registry.createKey(kHklm, u"Ident\\Odd]Name [x]", key), kErrorSuccess);
    registry.closeKey(key);
    ASSERT_EQ(registry.createKey(kHklm, u"Temp\\Sub\\Deeper", key), kErrorSuccess);
    ASSERT_EQ(setDword(registry, key, u"gone", 43), kErrorSuccess);
    registry.closeKey(key);
    ASSERT_EQ(registry.deleteKey(kHklm, u"temp"), kErrorSuccess);
    registry.closeKey(ident);
}

std::string readText(const fs::path& path)
{
    const Bytes bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void expectValue(DeviceRegistry& registry, const ExpectedValue& value)
{
    SCOPED_TRACE(std::string(value.name.begin(), value.name.end()));
    RegistryKey key = 0;
    ASSERT_EQ(registry.openKey(value.root, value.key, key), kErrorSuccess);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(registry.queryValue(key, value.name, &type, nullptr, &size), kErrorSuccess);
    Bytes data(size);
    ASSERT_EQ(registry.queryValue(key, value.name, &type, data.data(), &size), kErrorSuccess);
    EXPECT_EQ(type, value.type);
    EXPECT_EQ(data, value.data);
    registry.closeKey(key);
}

std::uint32_t valueCount(DeviceRegistry& registry, RegistryKey root, std::u16string_view path)
{
    RegistryKey key = 0;
    if (registry.openKey(root, path, key) != kErrorSuccess)
        return 0xFFFFFFFF;
    std::uint32_t values = 0;
    registry.queryInfoKey(key, nullptr, &values);
    registry.closeKey(key);
    return values;
}

class RegistryFileTest : public ::testing::Test {
protected:
    fs::path file() const { return scratch_.path() / "registry.reg"; }
    fs::path goldenPath() const { return fs::path(DRUVEX_TEST_DATA_DIR) / "registry" / "golden.reg"; }

    test::ScratchDir scratch_;
};

TEST_F(RegistryFileTest, FixedSequenceWritesTheGoldenFile)
{
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure(file().string()), kErrorSuccess);
    EXPECT_FALSE(fs::exists(file()));  // written at the first change only
    writeGoldenSequence(registry);
    const std::string written = readText(file());
    const std::string golden = readText(goldenPath());
    EXPECT_EQ(written, golden) << "written:\n" << written;
    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch_.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(RegistryFileTest, SecondRegistryReadsEveryValueAndWritesTheSameBytes)
{
    fs::copy_file(goldenPath(), file());
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure(file().string()), kErrorSuccess);
    for (const ExpectedValue& value : goldenValues())
        expectValue(registry, value);
    EXPECT_EQ(valueCount(registry, kHklm, u"Ident"), 14u);
    EXPECT_EQ(valueCount(registry, kHklm, u"Software\\Orv\\Bluetooth\\Driver"), 0u);
    EXPECT_EQ(valueCount(registry, kHklm, u"Ident\\Odd]Name [x]"), 0u);
    RegistryKey key = 0;
    EXPECT_EQ(registry.openKey(kHklm, u"Temp", key), kErrorFileNotFound);

    // A change and its undoing rewrite the file: the bytes are the golden ones.
    ASSERT_EQ(setDword(registry, kHklm, u"Transient", 1), kErrorSuccess);
    EXPECT_NE(readText(file()), readText(goldenPath()));
    ASSERT_EQ(registry.deleteValue(kHklm, u"transient"), kErrorSuccess);
    EXPECT_EQ(readText(file()), readText(goldenPath()));
}

TEST_F(RegistryFileTest, FailedWriteKeepsTheOldFileAndTheOldState)
{
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure(file().string()), kErrorSuccess);
    RegistryKey key = 0;
    ASSERT_EQ(registry.createKey(kHklm, u"Keep\\Inner", key), kErrorSuccess);
    ASSERT_EQ(setDword(registry, key, u"Value", 1), kErrorSuccess);
    const std::string old = readText(file());

    // A folder where the temporary file must go makes every write fail.
    const fs::path blocker = file().string() + "." + std::to_string(::getpid()) + ".tmp";
    fs::create_directory(blocker);
    test::DiagCapture diag;
    EXPECT_EQ(setDword(registry, key, u"Value", 2), kErrorRegistryIoFailed);
    EXPECT_EQ(setDword(registry, key, u"New", 2), kErrorRegistryIoFailed);
    EXPECT_EQ(registry.deleteValue(key, u"Value"), kErrorRegistryIoFailed);
    EXPECT_EQ(registry.deleteKey(kHklm, u"Keep"), kErrorRegistryIoFailed);
    RegistryKey made = 0;
    EXPECT_EQ(registry.createKey(kHklm, u"Made\\Below", made), kErrorRegistryIoFailed);
    EXPECT_EQ(readText(file()), old);
    EXPECT_TRUE(diag.contains(u"Registry: cannot create "));
    EXPECT_TRUE(diag.contains(u"registry.reg."));

    // Memory still matches the file: nothing of the failed calls remains.
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(registry.queryValue(key, u"Value", nullptr, &value, &size), kErrorSuccess);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(registry.queryValue(key, u"New", nullptr, nullptr, nullptr), kErrorFileNotFound);
    EXPECT_EQ(registry.openKey(kHklm, u"Made", made), kErrorFileNotFound);
    EXPECT_EQ(setDword(registry, key, u"Other", 2), kErrorRegistryIoFailed);

    // Once writes work again, the next change writes the whole state.
    fs::remove(blocker);
    ASSERT_EQ(setDword(registry, key, u"Value", 2), kErrorSuccess);
    DeviceRegistry reread;
    ASSERT_EQ(reread.configure(file().string()), kErrorSuccess);
    RegistryKey inner = 0;
    ASSERT_EQ(reread.openKey(kHklm, u"keep\\inner", inner), kErrorSuccess);
    EXPECT_EQ(reread.queryValue(inner, u"Value", nullptr, &value, &size), kErrorSuccess);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(reread.queryValue(inner, u"New", nullptr, nullptr, nullptr), kErrorFileNotFound);
}

TEST_F(RegistryFileTest, RemovedFolderReportsTheFailure)
{
    const fs::path folder = scratch_.path() / "device";
    fs::create_directory(folder);
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure((folder / "registry.reg").string()), kErrorSuccess);
    ASSERT_EQ(setDword(registry, kHklm, u"A", 1), kErrorSuccess);
    fs::remove_all(folder);
    test::DiagCapture diag;
    EXPECT_EQ(setDword(registry, kHklm, u"B", 1), kErrorRegistryIoFailed);
    EXPECT_EQ(registry.queryValue(kHklm, u"B", nullptr, nullptr, nullptr), kErrorFileNotFound);
    EXPECT_EQ(diag.lines().size(), 1u);
}

TEST_F(RegistryFileTest, ConfigureRefusesBadFilesAndKeepsTheContent)
{
    DeviceRegistry registry;
    ASSERT_EQ(setDword(registry, kHklm, u"Kept", 1), kErrorSuccess);

    test::writeFileBytes(file(), Bytes{'D', 'R', 'U', 'V', 'E', 'X', '-', 'R', 'E', 'G', 'I', 'S', 'T', 'R', 'Y', ' ',
                                       '1', '\n', '\n', '[', 'H', 'K', 'L', 'M', ']', '\n'});
    test::DiagCapture diag;
    SharedString reason;
    EXPECT_EQ(registry.configure(file().string(), &reason), kErrorRegistryCorrupt);
    EXPECT_NE(std::u16string_view(reason).find(u"registry.reg:3: unknown root key"), std::u16string_view::npos)
        << testing::PrintToString(reason);
    EXPECT_TRUE(diag.contains(u"registry.reg:3: unknown root key"));

    const fs::path folder = scratch_.path() / "folder.reg";
    fs::create_directory(folder);
    EXPECT_EQ(registry.configure(folder.string(), &reason), kErrorRegistryIoFailed);
    EXPECT_NE(std::u16string_view(reason).find(u"folder.reg"), std::u16string_view::npos) << testing::PrintToString(reason);

    EXPECT_TRUE(registry.filePath().empty());
    EXPECT_EQ(registry.queryValue(kHklm, u"Kept", nullptr, nullptr, nullptr), kErrorSuccess);
}

// The store keeps the limits the file's reader keeps: a value too large is
// refused before anything changes, a change that would make the file too
// large is undone with the file as it was, and a file too large is refused
// by name and line without the registry taking any of it.
TEST_F(RegistryFileTest, ValuesAndTheFileStayWithinTheirLimits)
{
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure(file().string()), kErrorSuccess);
    test::DiagCapture diag;
    Bytes data(kMaxRegistryValueSize, 7);
    ASSERT_EQ(registry.setValue(kHklm, u"AtLimit", kRegBinary, data.data(), static_cast<std::uint32_t>(data.size())),
              kErrorSuccess);
    data.push_back(7);
    EXPECT_EQ(registry.setValue(kHklm, u"Past", kRegBinary, data.data(), static_cast<std::uint32_t>(data.size())),
              kErrorInvalidParameter);
    EXPECT_TRUE(diag.contains(u"Registry: the value \"Past\" is refused"));
    EXPECT_EQ(registry.queryValue(kHklm, u"Past", nullptr, nullptr, nullptr), kErrorFileNotFound);

    // Each value of 4 MiB takes 12 MiB as hex text: the second passes the
    // file's limit.
    const std::string before = readText(file());
    data.pop_back();
    EXPECT_EQ(registry.setValue(kHklm, u"Second", kRegBinary, data.data(), static_cast<std::uint32_t>(data.size())),
              kErrorNotEnoughMemory);
    EXPECT_TRUE(diag.contains(u"the change is refused: the file would hold"));
    EXPECT_EQ(registry.queryValue(kHklm, u"Second", nullptr, nullptr, nullptr), kErrorFileNotFound);
    EXPECT_EQ(readText(file()), before);

    // A file past its limit.
    std::string text = before;
    text.append(kMaxRegistryFileSize + 1 - text.size(), '\n');
    test::writeFileBytes(file(), Bytes(text.begin(), text.end()));
    SharedString reason;
    EXPECT_EQ(registry.configure(file().string(), &reason), kErrorRegistryCorrupt);
    const auto line = static_cast<int>(kMaxRegistryFileSize + 1 - before.size() +
                                       static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')));
    const SharedString expected =
        SharedString().format(u"registry.reg:%d: the file holds more than 16777216 bytes", line);
    EXPECT_NE(std::u16string_view(reason).find(expected.view()), std::u16string_view::npos)
        << testing::PrintToString(reason);
    EXPECT_EQ(registry.queryValue(kHklm, u"AtLimit", nullptr, nullptr, nullptr), kErrorSuccess);
}

TEST(Registry, ConfigureReplacesTheContentAndInvalidatesHandles)
{
    DeviceRegistry registry;
    RegistryKey key = 0;
    ASSERT_EQ(registry.createKey(kHklm, u"A", key), kErrorSuccess);
    ASSERT_EQ(registry.configure(""), kErrorSuccess);
    EXPECT_EQ(registry.queryInfoKey(key, nullptr, nullptr), kErrorInvalidHandle);
    EXPECT_EQ(registry.openKey(kHklm, u"A", key), kErrorFileNotFound);
}

TEST(Registry, NamesIgnoreCaseAndKeepTheirSpelling)
{
    DeviceRegistry registry;
    RegistryKey key = 0;
    bool created = false;
    ASSERT_EQ(registry.createKey(kHklm, u"Software\\\u00C4pfel", key, &created), kErrorSuccess);
    EXPECT_TRUE(created);
    ASSERT_EQ(setDword(registry, key, u"MixedCase", 1), kErrorSuccess);
    registry.closeKey(key);

    // Lower case of a non-ASCII letter goes through the program's case table.
    ASSERT_EQ(registry.openKey(kHklm, u"SOFTWARE\\\u00E4PFEL", key), kErrorSuccess);
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(registry.queryValue(key, u"mixedcase", nullptr, &value, &size), kErrorSuccess);
    EXPECT_EQ(value, 1u);
    // A second spelling neither makes a second value nor renames the first.
    ASSERT_EQ(setDword(registry, key, u"MIXEDCASE", 2), kErrorSuccess);
    SharedString name;
    std::uint32_t type = 0;
    EXPECT_EQ(registry.enumValue(key, 0, name, &type), kErrorSuccess);
    EXPECT_EQ(name, u"MixedCase");
    EXPECT_EQ(registry.enumValue(key, 1, name, &type), kErrorNoMoreItems);
    registry.closeKey(key);

    ASSERT_EQ(registry.createKey(kHklm, u"software\\\u00E4pfel\\Sub", key, &created), kErrorSuccess);
    EXPECT_TRUE(created);
    registry.closeKey(key);
    ASSERT_EQ(registry.createKey(kHklm, u"SOFTWARE", key, &created), kErrorSuccess);
    EXPECT_FALSE(created);
    EXPECT_EQ(registry.enumKey(key, 0, name), kErrorSuccess);
    EXPECT_EQ(name, u"\u00C4pfel");
    EXPECT_EQ(registry.enumKey(key, 1, name), kErrorNoMoreItems);
    registry.closeKey(key);
    EXPECT_EQ(registry.enumKey(kHklm, 0, name), kErrorSuccess);
    EXPECT_EQ(name, u"Software");
}

TEST(Registry, EnumerationIsSortedWithTheDefaultValueFirst)
{
    DeviceRegistry registry;
    for (const char16_t* name : {u"beta", u"Alpha", u"", u"Gamma"})
        ASSERT_EQ(setDword(registry, kRegistryUsers, name, 1), kErrorSuccess);
    for (const char16_t* name : {u"b", u"C", u"a"}) {
        RegistryKey key = 0;
        ASSERT_EQ(registry.createKey(kRegistryUsers, name, key), kErrorSuccess);
        registry.closeKey(key);
    }
    std::u16string values;
    SharedString name;
    for (std::uint32_t i = 0; registry.enumValue(kRegistryUsers, i, name, nullptr) == kErrorSuccess; ++i)
        values += std::u16string(name.view()) + u"|";
    EXPECT_EQ(values, u"|Alpha|beta|Gamma|");
    std::u16string keys;
    for (std::uint32_t i = 0; registry.enumKey(kRegistryUsers, i, name) == kErrorSuccess; ++i)
        keys += std::u16string(name.view()) + u"|";
    EXPECT_EQ(keys, u"a|b|C|");
}

TEST(Registry, DeleteKeyRemovesTheWholeSubtree)
{
    DeviceRegistry registry;
    RegistryKey deep = 0;
    ASSERT_EQ(registry.createKey(kHklm, u"App\\Settings\\Deep", deep), kErrorSuccess);
    ASSERT_EQ(setDword(registry, deep, u"V", 1), kErrorSuccess);
    RegistryKey app = 0;
    ASSERT_EQ(registry.openKey(kHklm, u"App", app), kErrorSuccess);
    RegistryKey sibling = 0;
    ASSERT_EQ(registry.createKey(kHklm, u"Application", sibling), kErrorSuccess);

    EXPECT_EQ(registry.deleteKey(kHklm, u"app"), kErrorSuccess);
    RegistryKey key = 0;
    EXPECT_EQ(registry.openKey(kHklm, u"App", key), kErrorFileNotFound);
    EXPECT_EQ(registry.openKey(kHklm, u"App\\Settings\\Deep", key), kErrorFileNotFound);
    EXPECT_EQ(registry.openKey(kHklm, u"Application", key), kErrorSuccess);

    // Handles still open on the deleted keys fail instead of reviving them.
    EXPECT_EQ(registry.queryValue(deep, u"V", nullptr, nullptr, nullptr), kErrorKeyDeleted);
    EXPECT_EQ(setDword(registry, deep, u"V", 1), kErrorKeyDeleted);
    EXPECT_EQ(registry.createKey(app, u"Again", key), kErrorKeyDeleted);
    EXPECT_EQ(registry.closeKey(deep), kErrorSuccess);
    EXPECT_EQ(registry.closeKey(app), kErrorSuccess);

    // A key made again under the old name is a new, empty key.
    ASSERT_EQ(registry.createKey(kHklm, u"App", key), kErrorSuccess);
    std::uint32_t subKeys = 9;
    EXPECT_EQ(registry.queryInfoKey(key, &subKeys, nullptr), kErrorSuccess);
    EXPECT_EQ(subKeys, 0u);

    EXPECT_EQ(registry.deleteKey(kHklm, u"Missing"), kErrorFileNotFound);
    EXPECT_EQ(registry.deleteKey(kHklm, u"Missing\\Below"), kErrorFileNotFound);
    EXPECT_EQ(registry.deleteKey(kHklm, u""), kErrorInvalidParameter);
    EXPECT_EQ(registry.deleteKey(kHklm, u"\\\\"), kErrorInvalidParameter);
}

TEST(Registry, HandlesAndPathsFollowTheDeviceRules)
{
    DeviceRegistry registry;
    RegistryKey key = 0;
    // Empty components are passed over; an empty sub-key opens the parent again.
    ASSERT_EQ(registry.createKey(kHklm, u"\\A\\\\B\\", key), kErrorSuccess);
    RegistryKey again = 0;
    ASSERT_EQ(registry.openKey(kHklm, u"A\\B", again), kErrorSuccess);
    RegistryKey same = 0;
    ASSERT_EQ(registry.openKey(again, u"", same), kErrorSuccess);
    EXPECT_NE(same, again);
    ASSERT_EQ(setDword(registry, key, u"V", 1), kErrorSuccess);
    EXPECT_EQ(registry.queryValue(same, u"v", nullptr, nullptr, nullptr), kErrorSuccess);

    EXPECT_EQ(registry.closeKey(key), kErrorSuccess);
    EXPECT_EQ(registry.closeKey(key), kErrorInvalidHandle);
    EXPECT_EQ(registry.queryValue(key, u"V", nullptr, nullptr, nullptr), kErrorInvalidHandle);
    EXPECT_EQ(registry.closeKey(kHklm), kErrorSuccess);
    EXPECT_EQ(registry.openKey(0x80000004, u"A", key), kErrorInvalidHandle);
    EXPECT_EQ(registry.openKey(0, u"A", key), kErrorInvalidHandle);

    // Names the file could not hold are refused.
    EXPECT_EQ(registry.createKey(kHklm, u"Bad\nName", key), kErrorInvalidParameter);
    EXPECT_EQ(registry.openKey(kHklm, u"Bad", key), kErrorFileNotFound);
    EXPECT_EQ(registry.createKey(kHklm, u"Good\\\xD800", key), kErrorInvalidParameter);
    EXPECT_EQ(registry.openKey(kHklm, u"Good", key), kErrorFileNotFound);
    EXPECT_EQ(setDword(registry, kHklm, u"Tab\tName", 1), kErrorInvalidParameter);
    EXPECT_EQ(registry.setValue(kHklm, u"X", kRegBinary, nullptr, 4), kErrorInvalidParameter);
    EXPECT_EQ(registry.setValue(kHklm, u"X", kRegBinary, nullptr, 0), kErrorSuccess);
}

// Keys lie at most 256 below their root, whether one call or many make them;
// a path past that is refused whole and the registry still saves.
TEST_F(RegistryFileTest, KeysDeeperThanTheLimitAreRefusedAndTheFileStillSaves)
{
    const auto path = [](int depth) {
        std::u16string text;
        for (int i = 0; i < depth; ++i)
            text += u"k\\";
        return text;
    };
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure(file().string()), kErrorSuccess);
    RegistryKey key = 0;
    EXPECT_EQ(registry.createKey(kHklm, path(30'000), key), kErrorInvalidParameter);
    EXPECT_FALSE(fs::exists(file()));
    ASSERT_EQ(registry.createKey(kHklm, path(200), key), kErrorSuccess);
    RegistryKey deeper = 0;
    EXPECT_EQ(registry.createKey(key, path(57), deeper), kErrorInvalidParameter);
    ASSERT_EQ(registry.createKey(key, path(56), deeper), kErrorSuccess);
    ASSERT_EQ(setDword(registry, deeper, u"V", 7), kErrorSuccess);
    EXPECT_EQ(registry.openKey(deeper, u"k", key), kErrorFileNotFound);

    DeviceRegistry reread;
    ASSERT_EQ(reread.configure(file().string()), kErrorSuccess);
    ASSERT_EQ(reread.openKey(kHklm, path(256), key), kErrorSuccess);
    EXPECT_EQ(reread.queryValue(key, u"V", nullptr, nullptr, nullptr), kErrorSuccess);

    // A file with a deeper section does not load, and nothing changes.
    std::string deepSection = "\n[HKEY_CURRENT_USER";
    for (int i = 0; i < 30'000; ++i)
        deepSection += "\\k";
    const std::string text = readText(file()) + deepSection + "]\n";
    test::writeFileBytes(file(), test::Bytes(text.begin(), text.end()));
    EXPECT_EQ(reread.configure(file().string()), kErrorRegistryCorrupt);
    EXPECT_EQ(reread.openKey(kHklm, path(256), key), kErrorSuccess);
}

TEST(Registry, QueryValueReportsSizesLikeTheDevice)
{
    DeviceRegistry registry;
    const Bytes data = units(u"abc\0");
    ASSERT_EQ(registry.setValue(kHklm, u"S", kRegString, data.data(), 8), kErrorSuccess);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(registry.queryValue(kHklm, u"S", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegString);
    EXPECT_EQ(size, 8u);

    Bytes buffer(8, 0xEE);
    size = 7;
    EXPECT_EQ(registry.queryValue(kHklm, u"S", nullptr, buffer.data(), &size), kErrorMoreData);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(buffer, Bytes(8, 0xEE));
    size = 8;
    EXPECT_EQ(registry.queryValue(kHklm, u"S", nullptr, buffer.data(), &size), kErrorSuccess);
    EXPECT_EQ(buffer, data);
    EXPECT_EQ(registry.queryValue(kHklm, u"S", nullptr, buffer.data(), nullptr), kErrorInvalidParameter);
    EXPECT_EQ(registry.queryValue(kHklm, u"Missing", &type, nullptr, &size), kErrorFileNotFound);
    EXPECT_EQ(registry.deleteValue(kHklm, u"Missing"), kErrorFileNotFound);
}

// The host calls the registry from the UI, installation and hook threads.
TEST(RegistryThreads, ChangesFromManyThreadsLeaveAConsistentFile)
{
    const test::ScratchDir scratch;
    const std::string file = (scratch.path() / "registry.reg").string();
    DeviceRegistry registry;
    ASSERT_EQ(registry.configure(file), kErrorSuccess);
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&registry, t] {
            const std::u16string path = u"Worker\\" + std::u16string(1, static_cast<char16_t>(u'A' + t));
            for (std::uint32_t round = 0; round < kRounds; ++round) {
                RegistryKey key = 0;
                if (registry.createKey(kHklm, path, key) != kErrorSuccess)
                    continue;
                setDword(registry, key, u"Round", round);
                SharedString name;
                registry.enumKey(kHklm, 0, name);
                registry.closeKey(key);
                if (round % 5 == 4)
                    registry.deleteKey(kHklm, path);
            }
            RegistryKey key = 0;
            registry.createKey(kHklm, path, key);
            setDword(registry, key, u"Round", kRounds);
            registry.closeKey(key);
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    DeviceRegistry reread;
    ASSERT_EQ(reread.configure(file), kErrorSuccess);
    std::uint32_t workers = 0;
    RegistryKey parent = 0;
    ASSERT_EQ(reread.openKey(kHklm, u"Worker", parent), kErrorSuccess);
    ASSERT_EQ(reread.queryInfoKey(parent, &workers, nullptr), kErrorSuccess);
    EXPECT_EQ(workers, static_cast<std::uint32_t>(kThreads));
    for (int t = 0; t < kThreads; ++t) {
        std::uint32_t round = 0;
        std::uint32_t size = 4;
        const std::u16string name(1, static_cast<char16_t>(u'a' + t));
        RegistryKey key = 0;
        ASSERT_EQ(reread.openKey(parent, name, key), kErrorSuccess);
        EXPECT_EQ(reread.queryValue(key, u"round", nullptr, &round, &size), kErrorSuccess);
        EXPECT_EQ(round, static_cast<std::uint32_t>(kRounds));
    }
}

// ---- readRegistryString

class RegistryReadStringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegistryKey key = 0;
        ASSERT_EQ(registry_.createKey(kHklm, u"System\\ErrorReporting\\DumpSettings", key), kErrorSuccess);
        set(key, u"DumpDirectory", kRegString, units(u"\\Windows\\Dumps\0"));
        set(key, u"", kRegString, units(u"default\0"));
        set(key, u"Expand", kRegExpandString, units(u"%TEMP%\0"));
        set(key, u"Embedded", kRegString, units(u"cut\0here\0"));
        set(key, u"Unterminated", kRegString, units(u"whole"));
        set(key, u"OddBytes", kRegString, {'h', 0, 'i', 0, 'x'});
        set(key, u"Number", kRegDword, {1, 0, 0, 0});
        set(key, u"Multi", kRegMultiString, units(u"a\0b\0\0"));
        set(key, u"EmptyString", kRegString, {});
        registry_.closeKey(key);
    }

    void set(RegistryKey key, std::u16string_view name, std::uint32_t type, const Bytes& data)
    {
        ASSERT_EQ(registry_.setValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size())),
                  kErrorSuccess);
    }

    DeviceRegistry registry_;
};

TEST_F(RegistryReadStringTest, ReadsStringsAndAnswersOtherTypesEmpty)
{
    struct Case {
        const char16_t* subKey;
        const char16_t* value;
        bool result;
        std::u16string_view text;
    };
    const char16_t* dump = u"System\\ErrorReporting\\DumpSettings";
    const Case cases[] = {
        {dump, u"DumpDirectory", true, u"\\Windows\\Dumps"},
        {u"system\\errorreporting\\dumpsettings", u"dumpdirectory", true, u"\\Windows\\Dumps"},
        {dump, nullptr, true, u"default"},
        {dump, u"Expand", true, u"%TEMP%"},
        {dump, u"Embedded", true, u"cut"},
        {dump, u"Unterminated", true, u"whole"},
        {dump, u"OddBytes", true, u"hi"},
        {dump, u"EmptyString", true, u""},
        {dump, u"Number", true, u""},
        {dump, u"Multi", true, u""},
        {dump, u"Missing", false, u""},
        {u"System\\Nowhere", u"DumpDirectory", false, u""},
        {u"", u"DumpDirectory", false, u""},
        {nullptr, u"DumpDirectory", false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? std::string(c.value, c.value + std::char_traits<char16_t>::length(c.value)) : "null");
        SharedString text(u"stale");
        EXPECT_EQ(readRegistryString(registry_, kHklm, c.subKey, c.value, text), c.result);
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(RegistryReadStringTest, ClosesTheKeyInEveryCase)
{
    SharedString text;
    const char16_t* dump = u"System\\ErrorReporting\\DumpSettings";
    EXPECT_TRUE(readRegistryString(registry_, kHklm, dump, u"DumpDirectory", text));
    EXPECT_TRUE(readRegistryString(registry_, kHklm, dump, u"Number", text));
    EXPECT_FALSE(readRegistryString(registry_, kHklm, dump, u"Missing", text));
    // Handles are numbered in sequence and never reused: the three before this
    // one were the calls' own, and each was closed.
    RegistryKey key = 0;
    ASSERT_EQ(registry_.openKey(kHklm, u"System", key), kErrorSuccess);
    for (RegistryKey earlier = key - 3; earlier < key; ++earlier)
        EXPECT_EQ(registry_.closeKey(earlier), kErrorInvalidHandle);
}

TEST(RegistryReadStringGlobal, UsesTheProcessWideRegistry)
{
    DeviceRegistry& registry = deviceRegistry();
    RegistryKey key = 0;
    ASSERT_EQ(registry.createKey(kRegistryCurrentUser, u"ReadStringTest", key), kErrorSuccess);
    const Bytes data = units(u"global\0");
    ASSERT_EQ(registry.setValue(key, u"V", kRegString, data.data(), 14), kErrorSuccess);
    registry.closeKey(key);
    SharedString text;
    EXPECT_TRUE(readRegistryString(kRegistryCurrentUser, u"ReadStringTest", u"V", text));
    EXPECT_EQ(text, u"global");
    EXPECT_EQ(registry.deleteKey(kRegistryCurrentUser, u"ReadStringTest"), kErrorSuccess);
}

}  // namespace
}  // namespace druvex
