// Inputs shaped to cost their readers the most: documents nested as deep as a
// limit allows (or one level deeper), and documents of many items of one kind
// in the order that is worst for a naive reader. The tests, the benchmarks and
// the fuzz seeds build them here, so that all three mean the same shapes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace druvex::test {

// A "Feature" start tag with the attributes the reader requires.
inline std::string featureStartTag(const std::string& name, bool selfClosing = false)
{
    return "<Feature Name=\"" + name +
           "\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" Version=\"\" Desc=\"\""
           " Presel=\"Default\" Mode=\"Expanded\" LocaleId=\"0\"" +
           (selfClosing ? "/>" : ">");
}

// A data.xml whose root feature holds `subFeatures` (element text), followed
// by `afterFeatures` (element text after the "Features" element).
inline std::string dataXmlDocument(const std::string& subFeatures, const std::string& afterFeatures = {})
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n <Features>\n" +
           featureStartTag("Feature") + "<SubFeatures>\n" + subFeatures + "</SubFeatures></Feature>\n </Features>\n" +
           afterFeatures + "</data>\n";
}

// A name of six digits after `prefix`, so that names sort as their numbers do.
inline std::string numberedName(const char* prefix, int number)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06d", number);
    return prefix + std::string(digits);
}

// `count` sibling features, each name looked up among all before it.
inline std::string dataXmlWithSiblingFeatures(int count)
{
    std::string features;
    for (int i = 0; i < count; ++i)
        features += featureStartTag(numberedName("F", i), true) + "\n";
    return dataXmlDocument(features);
}

// One feature with `count` component features in descending order, so that
// each goes before all the others.
inline std::string dataXmlWithComponentFeatures(int count)
{
    std::string components = featureStartTag("Core") + "<ComponentFeatures>\n";
    for (int i = count - 1; i >= 0; --i)
        components += "<ComponentFeature>" + numberedName("Feature/C", i) + "</ComponentFeature>\n";
    return dataXmlDocument(components + "</ComponentFeatures></Feature>\n");
}

// One custom page whose layout holds `count` text views, each with its own Id.
inline std::string dataXmlWithLayoutControls(int count)
{
    std::string page = " <CustomPages><CustomPage Name=\"Page\"><LinearLayout Id=\"root\" IsVertical=\"yes\">\n";
    for (int i = 0; i < count; ++i)
        page += "<TextView Id=\"" + numberedName("t", i) + "\" Text=\"x\"/>\n";
    return dataXmlDocument({}, page + "</LinearLayout></CustomPage></CustomPages>\n");
}

// Features nested `depth` deep below the root feature.
inline std::string dataXmlWithNestedFeatures(int depth)
{
    std::string nested;
    for (int i = 0; i < depth; ++i)
        nested += featureStartTag(numberedName("N", i));
    for (int i = 0; i < depth; ++i)
        nested += "</Feature>";
    return dataXmlDocument(nested);
}

// A registry fragment whose keys nest `depth` deep under HKEY_LOCAL_MACHINE,
// with a value in the deepest.
inline std::string registryFragmentWithNestedKeys(int depth)
{
    std::string fragment = "<Registry><HKEY_LOCAL_MACHINE>";
    for (int i = 0; i < depth; ++i)
        fragment += "<Key Name=\"k\" Flag=\"Automatic\">";
    fragment += "<Value Name=\"v\" Format=\"Dword\" Data=\"1\"/>";
    for (int i = 0; i < depth; ++i)
        fragment += "</Key>";
    return fragment + "</HKEY_LOCAL_MACHINE></Registry>";
}

// A registry.reg of `keys` sibling keys with a value each, and one section
// whose key lies `depth` keys below HKEY_LOCAL_MACHINE.
inline std::string registryFileWithKeys(int keys, int depth)
{
    std::string text = "DRUVEX-REGISTRY 1\n";
    for (int i = 0; i < keys; ++i)
        text += "\n[HKEY_LOCAL_MACHINE\\Software\\" + numberedName("K", i) + "]\n\"v\"=dword:00000001\n";
    text += "\n[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < depth; ++i)
        text += "\\d";
    return text + "]\n\"deepest\"=\"here\"\n";
}

// An ini file whose one key's value goes on over `lines` continuation lines
// (a line that starts as a key does but holds no '=').
inline std::string iniWithContinuationLines(int lines)
{
    std::string text = "[Section]\r\nkey=first\r\n";
    for (int i = 0; i < lines; ++i)
        text += "continued over one more line of the value\r\n";
    return text;
}

// A redistributables list of `count` entries, in descending order of name,
// so that each is looked up among all before it.
inline std::string redistInfoWithEntries(int count)
{
    std::string list = "<RedistInfo>\n";
    for (int i = count - 1; i >= 0; --i)
        list += "<Redistributable Name=\"" + numberedName("R", i) + "\" Flag=\"0\"><Check>return 1</Check>"
                "</Redistributable>\n";
    return list + "</RedistInfo>\n";
}

// ASCII text as the UTF-16LE units of a translation file.
inline std::string utf16LeFromAscii(const std::string& text)
{
    std::string units;
    units.reserve(2 * text.size());
    for (const char ch : text) {
        units += ch;
        units += '\0';
    }
    return units;
}

// A translation file of one key given `count` times, each with its own text.
inline std::string translationWithRepeatedKey(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[Repeated key][" + numberedName("Text ", i) + "]\r\n";
    return utf16LeFromAscii(text);
}

// A translation file whose key "Long" has a text of `units` units with a
// line-break escape in every line of 64.
inline std::string translationWithLongText(int units)
{
    std::string text = "[Short][x]\r\n[Long][";
    for (int i = 0; i < units; ++i)
        text += i % 64 == 62 ? "\\n" : "t";
    return utf16LeFromAscii(text + "]\r\n");
}

// A registry.reg whose one value is a quoted text of `bytes` bytes.
inline std::string registryFileWithLongValue(int bytes)
{
    return "DRUVEX-REGISTRY 1\n\n[HKEY_LOCAL_MACHINE\\Software\\Long]\n\"v\"=\"" +
           std::string(static_cast<std::size_t>(bytes), 'v') + "\"\n";
}

// A device.ini of `count` stores, each a section of its own with its size
// and free space, in the order that puts each after all the others.
inline std::string deviceIniWithStores(int count)
{
    std::string text = "[Device]\nPlatformType=PocketPC\n";
    for (int i = count - 1; i >= 0; --i)
        text += "\n[Store:\\" + numberedName("Card", i) + "]\nTotal=1048576\nFree=524288\nMounted=1\n";
    return text;
}

// A registry.reg whose one value is a text of `bytes` bytes of data as the
// registry keeps it: UTF-16 with its terminating zero (`bytes` even, 2 or more).
inline std::string registryFileWithValueOfSize(std::size_t bytes)
{
    return "DRUVEX-REGISTRY 1\n\n[HKEY_LOCAL_MACHINE\\Software\\Long]\n\"v\"=\"" + std::string(bytes / 2 - 1, 'v') +
           "\"\n";
}

// A text file whose first line is `bytes` bytes long, then a short one.
inline std::string textFileWithLongLine(std::size_t bytes)
{
    return std::string(bytes, 'x') + "\nnext\n";
}

// A package stream (header only: its files are empty) of `files` file
// records of one- to three-letter names in the folder "<TARGETDIR>".
inline std::string packageWithFiles(int files)
{
    std::string stream;
    const auto put = [&stream](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            stream += static_cast<char>(value >> (8 * i));
    };
    const auto putName = [&put](std::u16string_view name) {
        put(name.size(), 2);
        for (const char16_t unit : name)
            put(unit, 2);
    };
    put(0, 8);  // the header size, set below
    put(5, 4);
    put(2, 4);
    putName(u"<TARGETDIR>");
    put(0, 4);
    put(static_cast<std::uint64_t>(files), 4);
    put(0, 4);
    for (int i = 0; i < files; ++i) {
        put(1, 4);
        std::u16string name;
        for (int rest = i % 4096; name.empty() || rest > 0; rest /= 16)
            name += static_cast<char16_t>(u'a' + rest % 16);
        putName(name);
        put(0, 4 + 8 + 8 + 8 + 4);
    }
    put(7, 4);
    const std::uint64_t size = stream.size();
    for (int i = 0; i < 8; ++i)
        stream[static_cast<std::size_t>(i)] = static_cast<char>(size >> (8 * i));
    return stream;
}

}  // namespace druvex::test
