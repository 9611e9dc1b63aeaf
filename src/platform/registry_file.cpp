#include "platform/registry_file.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/input_limits.h"
#include "text/text_convert.h"

namespace druvex {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// ---- Writing

// `text` is valid UTF-16 without zero units (checked by the callers).
void appendUtf8(std::string& out, std::u16string_view text)
{
    const int units = static_cast<int>(text.size());
    const int bytes = utf16ToUtf8(text.data(), units, nullptr, 0);
    if (bytes <= 0)
        return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(bytes));
    utf16ToUtf8(text.data(), units, out.data() + at, bytes);
}

void appendQuoted(std::string& out, std::u16string_view text)
{
    out += '"';
    const std::size_t start = out.size();
    appendUtf8(out, text);
    // UTF-8 never puts an ASCII byte inside a multi-byte sequence, so the
    // escapes can work on bytes. Most texts need none; the others are
    // escaped in place, from the back, so that a long text is not copied.
    const auto escaped = [](char ch) { return ch == '\\' || ch == '"'; };
    const auto escapes = static_cast<std::size_t>(std::count_if(out.begin() + static_cast<std::ptrdiff_t>(start),
                                                                out.end(), escaped));
    if (escapes > 0) {
        std::size_t from = out.size();
        out.resize(out.size() + escapes);
        std::size_t to = out.size();
        while (from > start) {
            const char ch = out[--from];
            out[--to] = ch;
            if (escaped(ch))
                out[--to] = '\\';
        }
    }
    out += '"';
}

void appendHexByte(std::string& out, std::uint8_t byte)
{
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 15];
}

std::u16string unitsOf(const std::vector<std::uint8_t>& data)
{
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return units;
}

// The text of a string value that can be written in quotes: whole units, one
// terminating zero and nothing the quotes cannot hold. Anything else goes out
// as hex, so that every value comes back byte for byte.
std::optional<std::u16string> quotableText(const std::vector<std::uint8_t>& data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return std::nullopt;
    std::u16string units = unitsOf(data);
    if (units.back() != 0)
        return std::nullopt;
    units.pop_back();
    if (!isValidRegistryValueName(units))
        return std::nullopt;
    return units;
}

// The items of a multi-string that can be written as a list of quoted texts:
// one or more non-empty items, each ended by a zero, and a final zero.
std::optional<std::vector<std::u16string>> quotableItems(const std::vector<std::uint8_t>& data)
{
    if (data.size() < 6 || data.size() % 2 != 0)
        return std::nullopt;
    const std::u16string units = unitsOf(data);
    const std::size_t end = units.size() - 1;
    if (units[end] != 0 || units[end - 1] != 0)
        return std::nullopt;
    std::vector<std::u16string> items;
    for (std::size_t pos = 0; pos < end;) {
        const std::size_t zero = units.find(u'\0', pos);
        std::u16string item = units.substr(pos, zero - pos);
        if (item.empty() || !isValidRegistryValueName(item))
            return std::nullopt;
        items.push_back(std::move(item));
        pos = zero + 1;
    }
    return items;
}

void appendData(std::string& out, std::uint32_t type, const std::vector<std::uint8_t>& data)
{
    if (type == kRegDword && data.size() == 4) {
        out += "dword:";
        for (int i = 3; i >= 0; --i)
            appendHexByte(out, data[static_cast<std::size_t>(i)]);
        return;
    }
    if (type == kRegString || type == kRegExpandString) {
        if (const auto text = quotableText(data)) {
            if (type == kRegExpandString)
                out += "expand:";
            appendQuoted(out, *text);
            return;
        }
    }
    if (type == kRegMultiString) {
        if (const auto items = quotableItems(data)) {
            out += "multi:";
            for (std::size_t i = 0; i < items->size(); ++i) {
                if (i > 0)
                    out += ',';
                appendQuoted(out, (*items)[i]);
            }
            return;
        }
    }
    if (type == kRegBinary) {
        out += "hex:";
    } else {
        char digits[9];
        int count = 0;
        std::uint32_t rest = type;
        do {
            digits[count++] = kHexDigits[rest & 15];
            rest >>= 4;
        } while (rest != 0);
        out += "hex(";
        while (count > 0)
            out += digits[--count];
        out += "):";
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0)
            out += ',';
        appendHexByte(out, data[i]);
    }
}

// The section of one key: "[path]" and its values.
void appendSection(std::string& out, const RegistryKeyNode& key, const std::string& path)
{
    out += "\n[";
    out += path;
    out += "]\n";
    for (const auto& [folded, value] : key.values) {
        if (value.name.empty())
            out += '@';
        else
            appendQuoted(out, value.name);
        out += '=';
        appendData(out, value.type, value.data);
        out += '\n';
    }
}

// Every key gets a section, also an empty one, so that it exists again after
// loading; a root only when it holds values. The keys are visited parents
// first through a list of the open levels, which share one path text: a deep
// tree costs neither stack nor a copy of its path per level.
void appendTree(std::string& out, const RegistryKeyNode& root, std::string_view rootName)
{
    std::string path(rootName);
    if (!root.values.empty())
        appendSection(out, root, path);
    struct Level {
        const RegistryKeyNode* key;
        std::map<std::u16string, std::shared_ptr<RegistryKeyNode>>::const_iterator next;
        std::size_t pathLength;
    };
    std::vector<Level> levels{{&root, root.subKeys.begin(), path.size()}};
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.key->subKeys.end()) {
            levels.pop_back();
            continue;
        }
        const RegistryKeyNode& key = *level.next->second;
        ++level.next;
        path.resize(level.pathLength);
        path += '\\';
        appendUtf8(path, key.name);
        appendSection(out, key, path);
        levels.push_back({&key, key.subKeys.begin(), path.size()});
    }
}

// ---- Reading
//
// Quoted texts, data as well as names, obey the rule of value names: no
// control characters and no unpaired surrogates.

std::optional<std::u16string> unitsFromUtf8(std::string_view bytes)
{
    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    // UTF-8 never gives more units than bytes: one decoding pass into room
    // for that many, without a counting pass first.
    const int length = static_cast<int>(bytes.size());
    std::u16string text(bytes.size(), u'\0');
    const int units = length == 0 ? 0 : utf8ToUtf16(bytes.data(), length, text.data(), length);
    if (units < 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(units));
    // The decoder takes the overlong C0 80 for a zero, which no name or
    // quoted text may hold: every caller checks the units it gets with
    // isValidRegistryValueName, which refuses it with the other controls.
    return text;
}

// A quoted text at `pos` (which is left behind the closing quote).
std::optional<std::u16string> parseQuoted(std::string_view line, std::size_t& pos)
{
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    // A text without escapes, which most are, is decoded where it stands;
    // one with escapes is copied once without them.
    const std::size_t start = pos + 1;
    const std::size_t quote = line.find('"', start);
    if (quote == std::string_view::npos)
        return std::nullopt;
    const std::size_t at = line.substr(0, quote).find('\\', start);
    if (at == std::string_view::npos) {
        pos = quote + 1;
        return unitsFromUtf8(line.substr(start, quote - start));
    }
    std::string bytes(line.substr(start, at - start));
    for (pos = at; pos < line.size(); ++pos) {
        char ch = line[pos];
        if (ch == '"') {
            ++pos;
            return unitsFromUtf8(bytes);
        }
        if (ch == '\\') {
            if (++pos >= line.size() || (line[pos] != '\\' && line[pos] != '"'))
                return std::nullopt;
            ch = line[pos];
        }
        bytes += ch;
    }
    return std::nullopt;
}

int hexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits.
std::optional<std::uint32_t> parseHexNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char ch : digits) {
        const int digit = hexDigitValue(ch);
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// "xx,xx,...": two digits a byte; nothing at all is no bytes.
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    if (text.empty())
        return bytes;
    bytes.reserve(text.size() / 3 + 1);
    for (std::size_t pos = 0;; pos += 3) {
        if (pos + 2 > text.size())
            return std::nullopt;
        const int high = hexDigitValue(text[pos]);
        const int low = hexDigitValue(text[pos + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        if (pos + 2 == text.size())
            return bytes;
        if (text[pos + 2] != ',')
            return std::nullopt;
    }
}

// The units as the registry stores them, UTF-16LE (the byte order of every
// machine this runs on).
void appendUnits(std::vector<std::uint8_t>& data, std::u16string_view units)
{
    static_assert(std::endian::native == std::endian::little);
    const std::size_t at = data.size();
    data.resize(at + 2 * units.size());
    if (!units.empty())
        std::memcpy(data.data() + at, units.data(), 2 * units.size());
}

// The data after '=': type and bytes, or nothing when it is malformed.
bool parseData(std::string_view text, RegistryValue& value)
{
    value.data.clear();
    std::size_t pos = 0;
    if (text.starts_with("dword:")) {
        const auto number = parseHexNumber(text.substr(6));
        if (!number)
            return false;
        value.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8)
            value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
        return true;
    }
    if (text.starts_with("hex:") || text.starts_with("hex(")) {
        std::size_t bytesAt = 4;
        value.type = kRegBinary;
        if (text[3] == '(') {
            const std::size_t close = text.find("):", 4);
            const auto type = close == std::string_view::npos ? std::nullopt : parseHexNumber(text.substr(4, close - 4));
            if (!type)
                return false;
            value.type = *type;
            bytesAt = close + 2;
        }
        auto bytes = parseHexBytes(text.substr(bytesAt));
        if (!bytes)
            return false;
        value.data = std::move(*bytes);
        return true;
    }
    if (text.starts_with("multi:")) {
        value.type = kRegMultiString;
        pos = 6;
        for (;;) {
            const auto item = parseQuoted(text, pos);
            if (!item || item->empty() || !isValidRegistryValueName(*item))
                return false;
            appendUnits(value.data, *item);
            appendUnits(value.data, std::u16string_view(u"\0", 1));
            if (pos == text.size())
                break;
            if (text[pos++] != ',')
                return false;
        }
        appendUnits(value.data, std::u16string_view(u"\0", 1));
        return true;
    }
    value.type = kRegString;
    if (text.starts_with("expand:")) {
        value.type = kRegExpandString;
        pos = 7;
    }
    const auto quoted = parseQuoted(text, pos);
    if (!quoted || pos != text.size() || !isValidRegistryValueName(*quoted))
        return false;
    value.data.reserve(2 * (quoted->size() + 1));
    appendUnits(value.data, *quoted);
    appendUnits(value.data, std::u16string_view(u"\0", 1));
    return true;
}

// Null and `reason` set when the line is refused.
RegistryKeyNode* parseSection(std::string_view line, RegistryTree& tree, const char*& reason)
{
    if (line.size() < 2 || line.back() != ']') {
        reason = "a section line must end with ']'";
        return nullptr;
    }
    const std::string_view path = line.substr(1, line.size() - 2);
    const std::size_t split = path.find('\\');
    const std::string_view rootName = path.substr(0, split);
    RegistryKeyNode* key = nullptr;
    for (int i = 0; i < kRegistryRootCount; ++i)
        if (rootName == registryRootName(i))
            key = tree.roots[static_cast<std::size_t>(i)].get();
    if (key == nullptr) {
        reason = "unknown root key";
        return nullptr;
    }
    // A child section makes its missing parents, so hand-written files may
    // leave them out.
    bool more = split != std::string_view::npos;
    static_assert(kMaxRegistryKeyDepth == 256, "the reason below names the limit");
    if (more && static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) > kMaxRegistryKeyDepth) {
        reason = "the key lies deeper than 256 keys below its root";
        return nullptr;
    }
    std::string_view rest = more ? path.substr(split + 1) : std::string_view();
    while (more) {
        const std::size_t next = rest.find('\\');
        const auto name = unitsFromUtf8(rest.substr(0, next));
        if (!name || !isValidRegistryKeyName(*name)) {
            reason = "invalid key name";
            return nullptr;
        }
        auto& slot = key->subKeys[foldRegistryName(*name)];
        if (!slot) {
            slot = std::make_shared<RegistryKeyNode>();
            slot->name = *name;
            slot->depth = key->depth + 1;
        }
        key = slot.get();
        more = next != std::string_view::npos;
        if (more)
            rest.remove_prefix(next + 1);
    }
    return key;
}

const char* parseValueLine(std::string_view line, RegistryKeyNode& key)
{
    RegistryValue value;
    std::size_t pos = 1;
    if (line[0] != '@') {
        pos = 0;
        const auto name = parseQuoted(line, pos);
        if (!name || name->empty() || !isValidRegistryValueName(*name))
            return "invalid value name";
        value.name = *name;
    }
    if (pos >= line.size() || line[pos] != '=')
        return "'=' expected after the value name";
    if (!parseData(line.substr(pos + 1), value))
        return "invalid value data";
    static_assert(kMaxRegistryValueSize == 4194304, "the reason below names the limit");
    if (value.data.size() > kMaxRegistryValueSize)
        return "the value holds more than 4194304 bytes";
    const auto [where, added] = key.values.try_emplace(foldRegistryName(value.name), std::move(value));
    return added ? nullptr : "value defined twice in one key";
}

}  // namespace

std::string writeRegistryText(const RegistryTree& tree)
{
    std::string out(kRegistryFileHeader);
    out += '\n';
    for (int i = 0; i < kRegistryRootCount; ++i)
        appendTree(out, *tree.roots[static_cast<std::size_t>(i)], registryRootName(i));
    return out;
}

bool readRegistryText(std::string_view text, RegistryTree& tree, RegistryTextError& error)
{
    // A file too large is refused at the line where it passes the limit,
    // before any of it is read: its lines would all be held, and every
    // change would write them again.
    if (text.size() > kMaxRegistryFileSize) {
        static_assert(kMaxRegistryFileSize == 16777216, "the reason below names the limit");
        error.line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + kMaxRegistryFileSize, '\n'));
        error.reason = "the file holds more than 16777216 bytes";
        return false;
    }
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    RegistryKeyNode* key = nullptr;
    int lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.ends_with('\r'))
            line.remove_suffix(1);

        const char* reason = nullptr;
        if (line.find('\0') != std::string_view::npos) {
            reason = "a line holds a zero byte";
        } else if (lineNumber == 1) {
            if (line != kRegistryFileHeader)
                reason = "not a registry file: the first line must be \"DRUVEX-REGISTRY 1\"";
        } else if (line.empty() || line[0] == ';') {
            continue;
        } else if (line[0] == '[') {
            key = parseSection(line, tree, reason);
        } else if (key == nullptr) {
            reason = "a value line before the first section";
        } else {
            reason = parseValueLine(line, *key);
        }
        if (reason != nullptr) {
            error.line = lineNumber;
            error.reason = reason;
            return false;
        }
    }
    return true;
}

}  // namespace druvex
