#include "platform/registry_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/input_limits.h"
#include "support/hostile_inputs.h"
#include "support/small_stack.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes units(const char16_t (&text)[N])
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(text[i] & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(text[i] >> 8));
    }
    return bytes;
}

const std::string kHeader = "DRUVEX-REGISTRY 1\n";

// The file of one value under HKEY_USERS\K.
std::string fileWith(const std::string& valueLine)
{
    return kHeader + "\n[HKEY_USERS\\K]\n" + valueLine + "\n";
}

RegistryTree treeWith(std::u16string name, std::uint32_t type, Bytes data)
{
    RegistryTree tree;
    auto key = std::make_shared<RegistryKeyNode>();
    key->name = u"K";
    key->values[foldRegistryName(name)] = RegistryValue{name, type, std::move(data)};
    tree.roots[3]->subKeys[u"k"] = key;
    return tree;
}

const RegistryValue* onlyValue(const RegistryTree& tree)
{
    const auto key = tree.roots[3]->subKeys.find(u"k");
    if (key == tree.roots[3]->subKeys.end() || key->second->values.size() != 1)
        return nullptr;
    return &key->second->values.begin()->second;
}

// `text` reads, its one value is the one given, and it is written again as
// it was.
void expectOnlyValueComesBack(const std::string& text, std::u16string_view name, std::uint32_t type,
                              const Bytes& data)
{
    RegistryTree read;
    RegistryTextError error;
    ASSERT_TRUE(readRegistryText(text, read, error)) << error.line << ": " << error.reason;
    const RegistryValue* value = onlyValue(read);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->name, name);
    EXPECT_EQ(value->type, type);
    // Not EXPECT_EQ: a failure would print megabytes.
    EXPECT_TRUE(value->data == data);
    EXPECT_TRUE(writeRegistryText(read) == text);
}

// "\\k" `depth` times: the path of a key that deep below its root.
std::string deepPath(int depth)
{
    std::string path;
    for (int i = 0; i < depth; ++i)
        path += "\\k";
    return path;
}

// Keys lie at most 256 deep with names of at most 255 units; a tree built in
// code deeper still is written and freed without recursion on its depth.
TEST(RegistryFileFormat, KeysUpToTheLimitsAndDeepTreesWithoutRecursion)
{
    RegistryTree tree;
    RegistryTextError error;
    ASSERT_TRUE(readRegistryText(kHeader + "[HKEY_USERS" + deepPath(255) + "\\" + std::string(255, 'n') + "]\n",
                                 tree, error))
        << error.reason;
    EXPECT_EQ(tree.roots[3]->subKeys.at(u"k")->depth, 1u);

    const auto chain = [](RegistryTree& deep, int depth) {
        RegistryKeyNode* key = deep.roots[2].get();
        for (int i = 0; i < depth; ++i) {
            auto& slot = key->subKeys[u"k"];
            slot = std::make_shared<RegistryKeyNode>();
            slot->name = u"k";
            key = slot.get();
        }
    };
    test::runOnSmallStack(
        [&] {
            RegistryTree deep;
            chain(deep, 3'000);
            const std::string written = writeRegistryText(deep);
            EXPECT_NE(written.find("[HKEY_LOCAL_MACHINE" + deepPath(3'000) + "]\n"), std::string::npos);
            RegistryTree deeper;
            chain(deeper, 100'000);
        },
        128 * 1024);
}

// The edge forms; the usual ones (every type, escapes, names "" and "@") are
// pinned by the golden registry file.
TEST(RegistryFileFormat, EachValueTakesItsCanonicalFormAndComesBackExactly)
{
    struct Case {
        std::u16string name;
        std::uint32_t type;
        Bytes data;
        std::string line;
    };
    const Case cases[] = {
        {u"Empty", kRegString, units(u"\0"), "\"Empty\"=\"\""},
        {u"NoZero", kRegString, units(u"ab"), "\"NoZero\"=hex(1):61,00,62,00"},
        {u"TwoZeros", kRegString, units(u"a\0\0"), "\"TwoZeros\"=hex(1):61,00,00,00,00,00"},
        {u"Inner", kRegString, units(u"a\0b\0"), "\"Inner\"=hex(1):61,00,00,00,62,00,00,00"},
        {u"Nothing", kRegString, {}, "\"Nothing\"=hex(1):"},
        {u"Lone", kRegString, units(u"\xD800x\0"), "\"Lone\"=hex(1):00,d8,78,00,00,00"},
        {u"EHex", kRegExpandString, units(u"%TEMP%"), "\"EHex\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00"},
        {u"MOne", kRegMultiString, units(u"a\0\0"), "\"MOne\"=multi:\"a\""},
        {u"MGap", kRegMultiString, units(u"a\0\0b\0\0"), "\"MGap\"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00"},
        {u"MOpen", kRegMultiString, units(u"a\0b\0"), "\"MOpen\"=hex(7):61,00,00,00,62,00,00,00"},
        {u"None", 0, {}, "\"None\"=hex(0):"},
        {u"Large", 0x12340, {9}, "\"Large\"=hex(12340):09"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string text = writeRegistryText(treeWith(c.name, c.type, c.data));
        EXPECT_EQ(text, fileWith(c.line));
        expectOnlyValueComesBack(text, c.name, c.type, c.data);
    }
}

// Values of megabytes, the quoted ones with escapes and text beyond ASCII
// at both ends and throughout, come back byte for byte; a bad unit deep
// inside is still refused.
TEST(RegistryFileFormat, LargeValuesComeBackExactly)
{
    std::u16string text;
    for (int i = 0; i < 200'000; ++i)
        text += i % 1000 == 0 ? u"\u00C5\"q\\\U0001F600" : u"abcdefgh";
    const auto bytesOf = [](std::u16string_view units) {
        Bytes bytes;
        for (const char16_t unit : units) {
            bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        return bytes;
    };
    Bytes binary(1'500'000);
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<std::uint8_t>(i * 7);
    const std::u16string items = text.substr(0, 600'000) + u'\0' + text.substr(600'000) + u'\0' + u'\0';
    struct Case {
        std::uint32_t type;
        Bytes data;
        const char* form;
    } cases[] = {
        {kRegString, bytesOf(text + u'\0'), "\"V\"=\""},
        {kRegExpandString, bytesOf(text + u'\0'), "\"V\"=expand:\""},
        {kRegMultiString, bytesOf(items), "\"V\"=multi:\""},
        {kRegBinary, binary, "\"V\"=hex:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        const std::string file = writeRegistryText(treeWith(u"V", c.type, c.data));
        ASSERT_NE(file.find(c.form), std::string::npos);
        expectOnlyValueComesBack(file, u"V", c.type, c.data);
    }

    // A control character far into a long quoted text.
    std::string line = "\"V\"=\"" + std::string(3'000'000, 'x') + "\"";
    line[2'000'000] = '\x01';
    RegistryTree read;
    RegistryTextError error;
    EXPECT_FALSE(readRegistryText(fileWith(line), read, error));
    EXPECT_STREQ(error.reason, "invalid value data");
}

// A value may hold up to its limit, and the file up to its own: past either,
// the reader refuses at the line where the limit is passed, without holding
// the rest, whatever form the data has.
TEST(RegistryFileFormat, ValuesAndTheFileAreRefusedPastTheirLimits)
{
    RegistryTree atLimit;
    RegistryTextError error;
    EXPECT_TRUE(readRegistryText(test::registryFileWithValueOfSize(kMaxRegistryValueSize), atLimit, error))
        << error.reason;
    RegistryTree quoted;
    EXPECT_FALSE(readRegistryText(test::registryFileWithValueOfSize(kMaxRegistryValueSize + 2), quoted, error));
    EXPECT_EQ(error.line, 4);
    EXPECT_STREQ(error.reason, "the value holds more than 4194304 bytes");
    std::string hex = "\"B\"=hex:00";
    for (std::uint64_t i = 0; i < kMaxRegistryValueSize; ++i)
        hex += ",00";
    RegistryTree binary;
    EXPECT_FALSE(readRegistryText(fileWith(hex), binary, error));
    EXPECT_EQ(error.line, 4);
    EXPECT_STREQ(error.reason, "the value holds more than 4194304 bytes");

    // The file: the line where it passes the limit is named.
    std::string text = kHeader + "\n[HKEY_USERS\\K]\n";
    int lines = 3;
    const auto valueLine = [](int number) {
        return "\"" + test::numberedName("V", number) + std::string(1000, 'v') + "\"=dword:00000001\n";
    };
    while (text.size() + valueLine(lines).size() <= kMaxRegistryFileSize)
        text += valueLine(++lines);
    RegistryTree whole;
    EXPECT_TRUE(readRegistryText(text, whole, error)) << error.reason;
    text += valueLine(++lines);
    RegistryTree past;
    EXPECT_FALSE(readRegistryText(text, past, error));
    EXPECT_EQ(error.line, lines);
    EXPECT_STREQ(error.reason, "the file holds more than 16777216 bytes");
}

TEST(RegistryFileFormat, EmptyRegistryIsTheHeaderAlone)
{
    EXPECT_EQ(writeRegistryText(RegistryTree()), kHeader);
    RegistryTree tree;
    RegistryTextError error;
    EXPECT_TRUE(readRegistryText("", tree, error));
    EXPECT_TRUE(readRegistryText(kHeader, tree, error));
    EXPECT_TRUE(readRegistryText("DRUVEX-REGISTRY 1", tree, error));
}

TEST(RegistryFileFormat, ReaderTakesWhatHandsWriteToo)
{
    // CR LF, a byte-order mark, comments, a missing parent section, a short
    // dword and upper-case hex digits.
    const std::string text =
        "\xEF\xBB\xBF"
        "DRUVEX-REGISTRY 1\r\n"
        "; a fixture\r\n"
        "[HKEY_USERS\\K\\Child]\r\n"
        "\"V\"=\"x\"\r\n"
        "\"D\"=dword:2A\r\n"
        "\"H\"=hex(B):AB\r\n";
    RegistryTree tree;
    RegistryTextError error;
    ASSERT_TRUE(readRegistryText(text, tree, error)) << error.line << ": " << error.reason;
    const auto& parent = tree.roots[3]->subKeys.at(u"k");
    EXPECT_EQ(parent->name, u"K");
    const auto& values = parent->subKeys.at(u"child")->values;
    EXPECT_EQ(values.at(u"v").data, units(u"x\0"));
    EXPECT_EQ(values.at(u"d").data, Bytes({0x2A, 0, 0, 0}));
    EXPECT_EQ(values.at(u"h").type, 11u);
    EXPECT_EQ(values.at(u"h").data, Bytes({0xAB}));
    EXPECT_EQ(writeRegistryText(tree), kHeader +
                                           "\n[HKEY_USERS\\K]\n"
                                           "\n[HKEY_USERS\\K\\Child]\n"
                                           "\"D\"=dword:0000002a\n"
                                           "\"H\"=hex(b):ab\n"
                                           "\"V\"=\"x\"\n");
}

TEST(RegistryFileFormat, RefusedLinesNameTheLineAndTheReason)
{
    struct Case {
        std::string text;
        int line;
        std::string reason;
    };
    const std::string section = kHeader + "[HKEY_USERS\\K]\n";
    const Case cases[] = {
        {"DRUVEX-REGISTRY 2\n", 1, "not a registry file"},
        {"\n" + kHeader, 1, "not a registry file"},
        {kHeader + "\n[HKEY_NOWHERE\\A]\n", 3, "unknown root key"},
        {kHeader + "[hkey_users\\A]\n", 2, "unknown root key"},
        {kHeader + "[HKEY_USERS\\A\n", 2, "a section line must end with ']'"},
        {kHeader + "[HKEY_USERS\\A\\\\B]\n", 2, "invalid key name"},
        {kHeader + "[HKEY_USERS\\]\n", 2, "invalid key name"},
        {kHeader + "[HKEY_USERS\\\xC3]\n", 2, "invalid key name"},
        {kHeader + "[HKEY_USERS\\" + std::string(256, 'k') + "]\n", 2, "invalid key name"},
        {kHeader + "[HKEY_USERS" + deepPath(257) + "]\n", 2, "the key lies deeper than 256 keys below its root"},
        {kHeader + "\"V\"=\"x\"\n", 2, "a value line before the first section"},
        {section + "V=\"x\"\n", 3, "invalid value name"},
        {section + "\"\"=\"x\"\n", 3, "invalid value name"},
        {section + "\"a\tb\"=\"x\"\n", 3, "invalid value name"},
        {section + "\"V\" = \"x\"\n", 3, "'=' expected"},
        {section + "@\n", 3, "'=' expected"},
        {section + "\"V\"=\"x\" \n", 3, "invalid value data"},
        {section + "\"V\"=\"x\n", 3, "invalid value data"},
        {section + "\"V\"=\"\\n\"\n", 3, "invalid value data"},
        {section + "\"V\"=\"\xFF\"\n", 3, "invalid value data"},
        {section + "\"V\"=\"\xC0\x80\"\n", 3, "invalid value data"},
        {section + "\"V\"=\"a\tb\"\n", 3, "invalid value data"},
        {section + "\"V\"=dword:123456789\n", 3, "invalid value data"},
        {section + "\"V\"=dword:\n", 3, "invalid value data"},
        {section + "\"V\"=dword:12x\n", 3, "invalid value data"},
        {section + "\"V\"=hex:1,2\n", 3, "invalid value data"},
        {section + "\"V\"=hex:01,\n", 3, "invalid value data"},
        {section + "\"V\"=hex(:01\n", 3, "invalid value data"},
        {section + "\"V\"=hex():01\n", 3, "invalid value data"},
        {section + "\"V\"=multi:\n", 3, "invalid value data"},
        {section + "\"V\"=multi:\"a\",\"\"\n", 3, "invalid value data"},
        {section + "\"V\"=multi:\"a\";\"b\"\n", 3, "invalid value data"},
        {section + "\"V\"=other\n", 3, "invalid value data"},
        {section + "\"V\"=dword:1\n\"v\"=dword:2\n", 4, "value defined twice in one key"},
        {section + std::string("\"V\"=\"a\0b\"\n", 10), 3, "a line holds a zero byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RegistryTree tree;
        RegistryTextError error;
        EXPECT_FALSE(readRegistryText(c.text, tree, error));
        EXPECT_EQ(error.line, c.line);
        EXPECT_TRUE(std::string(error.reason).starts_with(c.reason)) << error.reason;
    }
}

}  // namespace
}  // namespace druvex
