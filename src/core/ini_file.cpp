#include "core/ini_file.h"

#include <cstring>
#include <string>

#include "core/file_functions.h"
#include "core/mapped_file.h"
#include "core/path_text.h"
#include "core/platform_file.h"
#include "text/char_class.h"
#include "text/diag.h"
#include "text/numbers.h"
#include "text/text_convert.h"

namespace druvex {

// ---- Line reader -----------------------------------------------------------------

IniLineReader::IniLineReader(const std::uint8_t* data, std::size_t size, TextFileEncoding encoding)
    : data_(data), units_(encoding == kEncodingUtf16LE ? size / 2 : size), encoding_(encoding)
{
}

bool IniLineReader::atEnd() const
{
    return position_ >= units_;
}

char16_t IniLineReader::unitAt(std::size_t index) const
{
    if (encoding_ != kEncodingUtf16LE)
        return data_[index];
    return static_cast<char16_t>(data_[2 * index] | data_[2 * index + 1] << 8);
}

bool IniLineReader::isLineEnd(std::size_t index) const
{
    const char16_t unit = unitAt(index);
    return unit == u'\r' || unit == u'\n';
}

void IniLineReader::skipLineEnds()
{
    while (position_ < units_ && isLineEnd(position_)) {
        const bool pair = unitAt(position_) == u'\r' && position_ + 1 < units_ && unitAt(position_ + 1) == u'\n';
        position_ += pair ? 2 : 1;
        ++lineEndsSeen_;
    }
}

SharedString IniLineReader::readLine()
{
    unconverted_ = false;
    skipLineEnds();
    lineNumber_ = lineEndsSeen_ + 1;
    const std::size_t start = position_;
    while (position_ < units_ && !isLineEnd(position_))
        ++position_;
    const std::size_t length = position_ - start;
    skipLineEnds();
    if (length == 0)
        return SharedString();

    SharedString line;
    if (encoding_ == kEncodingUtf16LE) {
        // The block need not be aligned for char16_t.
        char16_t* units = line.allocBeforeWrite(static_cast<int>(length));
        std::memcpy(units, data_ + 2 * start, 2 * length);
        line.releaseBuffer(static_cast<int>(length));
        return line;
    }
    const unsigned codePage = encoding_ == kEncodingUtf8 ? kCodePageUtf8 : kCodePageAnsi;
    line = SharedString::fromCodePage(reinterpret_cast<const char*>(data_ + start), static_cast<int>(length),
                                      codePage);
    unconverted_ = line.isEmpty();
    return line;
}

// ---- Parsing -------------------------------------------------------------------

namespace {

bool isBlankOrTab(char16_t ch)
{
    return ch == u' ' || ch == u'\t';
}

bool onlyBlanksAndTabs(const SharedString& line)
{
    for (char16_t ch : line.view()) {
        if (!isBlankOrTab(ch))
            return false;
    }
    return true;
}

std::u16string_view trimmed(std::u16string_view text)
{
    while (!text.empty() && isSpaceChar(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpaceChar(text.back()))
        text.remove_suffix(1);
    return text;
}

// A refused line is quoted up to this many units, with "..." for the rest: a
// line of megabytes must not be copied into every message that names it.
constexpr int kQuotedLineUnits = 120;

bool refuse(IniLoadReport* report, int line, const SharedString& text, const char* reason)
{
    DRUVEX_DBGCHK("");
    if (report) {
        report->failedLine = line;
        report->failedText = text.length() > kQuotedLineUnits ? text.left(kQuotedLineUnits) + u"..." : text;
        report->reason = reason;
    }
    return false;
}

// The value that continuation lines are appended to, collected in a buffer
// that grows geometrically and stored once the value ends: a shared string
// grows to the exact length each time, and a value continued over many lines
// would cost the square of its length.
class ContinuedValue {
public:
    // `value` goes on with `line`; a value other than the one collected so
    // far is stored first.
    void append(SharedString& value, const SharedString& line)
    {
        if (&value != target_) {
            store();
            target_ = &value;
            text_.assign(value.view());
        }
        text_ += line.view();
    }
    // Stores the collected value; before anything else changes the map.
    void store()
    {
        if (!target_)
            return;
        *target_ = SharedString(std::u16string_view(text_));
        target_ = nullptr;
        text_.clear();
    }

private:
    SharedString* target_ = nullptr;
    std::u16string text_;
};

}  // namespace

bool isIniKeyStart(char16_t ch)
{
    if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') || ch == u'_')
        return true;
    return ch >= 0xC0 && ch != 0xD7 && ch != 0xF7 && !isSpaceChar(ch);
}

bool IniFile::load(const SharedString& path, std::uint32_t* encoding, IniLoadReport* report)
{
    sections_.clear();
    MappedFile file;
    if (!file.open(path.view(), false, false)) {
        if (report) {
            report->failedLine = 0;
            report->reason = "the file cannot be read";
        }
        return false;
    }
    return parse(file.data(), static_cast<std::size_t>(file.viewSize()), encoding, report);
}

bool IniFile::parse(const std::uint8_t* bytes, std::size_t size, std::uint32_t* encoding, IniLoadReport* report)
{
    sections_.clear();
    int markLength = 0;
    const TextFileEncoding detected = detectTextEncoding(bytes, size, &markLength);
    const TextFileEncoding used =
        detected == kEncodingUtf16LE || detected == kEncodingUtf8 ? detected : kEncodingAnsi;
    const auto skip = static_cast<std::size_t>(markLength);
    IniLineReader reader(bytes + skip, size - skip, used);

    SharedString section;
    SharedString lastKey;
    bool haveKey = false;
    ContinuedValue continued;
    // On a refusal the map keeps what came before the refused line.
    const auto refuseLine = [&](int lineNumber, const SharedString& line, const char* reason) {
        continued.store();
        return refuse(report, lineNumber, line, reason);
    };
    while (!reader.atEnd()) {
        const SharedString line = reader.readLine();
        const int lineNumber = reader.lineNumber();
        // A line that does not convert would read as empty and silently move
        // the keys after it into the unnamed section.
        if (reader.lastLineUnconverted())
            return refuseLine(lineNumber, line, "the line is not valid in the file's encoding");
        if (onlyBlanksAndTabs(line)) {
            section.clear();
            continue;
        }
        const char16_t first = line[0];
        if (isBlankOrTab(first))
            return refuseLine(lineNumber, line, "the line starts with a blank");
        if (first == u'#' || first == u'/' || first == u';')
            continue;
        if (first == u'[') {
            const std::u16string_view header = trimmed(line.view());
            if (header.size() < 3 || header.back() != u']')
                return refuseLine(lineNumber, line, "a section header is \"[name]\"");
            section = SharedString(header.substr(1, header.size() - 2));
            continue;
        }
        if (!isIniKeyStart(first))
            return refuseLine(lineNumber, line, "a key starts with a letter, a digit or '_'");
        const int equals = line.find(u'=');
        if (equals > 0) {
            continued.store();
            lastKey = line.left(equals);
            haveKey = true;
            sections_[section][lastKey] = line.midToEnd(equals + 1);
            if (report)
                report->keyLines[{section, lastKey}] = lineNumber;
            continue;
        }
        // A continuation of the last key's value.
        if (!haveKey)
            return refuseLine(lineNumber, line, "a line without '=' before any key");
        const auto current = sections_.find(section);
        if (current == sections_.end())
            continue;
        const auto value = current->second.find(lastKey);
        if (value != current->second.end())
            continued.append(value->second, line);
    }
    continued.store();
    if (encoding)
        *encoding = static_cast<std::uint32_t>(used);
    return true;
}

// ---- Writing -------------------------------------------------------------------

namespace {

bool holdsLineBreakOrZero(std::u16string_view text)
{
    for (char16_t ch : text) {
        if (ch == u'\r' || ch == u'\n' || ch == 0)
            return true;
    }
    return false;
}

// Names, keys and values that read back as written.
bool writableSectionName(const SharedString& name)
{
    return !holdsLineBreakOrZero(name.view());
}

bool writableKey(const SharedString& key)
{
    return !key.isEmpty() && isIniKeyStart(key[0]) && key.find(u'=') < 0 && !holdsLineBreakOrZero(key.view());
}

// Whether the ANSI code page holds every character of a section name or key.
// Values may lose a character to '?' as the device's conversion does; a name
// that changed would be another name, and a key that begins with '?' would
// not load at all.
bool holdsInAnsi(const SharedString& text)
{
    if (text.isEmpty())
        return true;
    const SharedStringA narrow = SharedStringA::fromWide(text.c_str(), text.length(), kCodePageAnsi);
    return SharedString::fromCodePage(narrow.c_str(), narrow.length(), kCodePageAnsi) == text;
}

void appendKeys(std::u16string& text, const IniSection& keys)
{
    for (const auto& [key, value] : keys) {
        text += key.view();
        text += u'=';
        text += value.view();
        text += u"\r\n";
    }
}

// UTF-8 as the device writes it: an unpaired surrogate becomes U+FFFD.
void appendUtf8(std::string& out, std::u16string_view text)
{
    Utf16DecodeState state;
    char bytes[4];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int n = decodeUtf16Unit(state, bytes, text[i]);
        if (n >= 0) {
            out.append(bytes, static_cast<std::size_t>(n));
            continue;
        }
        out.append("\xEF\xBF\xBD");
        const bool retry = state.pendingHighSurrogates != 0;
        state = {};
        if (retry)
            --i;
    }
    if (state.pendingHighSurrogates)
        out.append("\xEF\xBF\xBD");
}

}  // namespace

bool IniFile::serialize(std::uint32_t encoding, std::string& bytes) const
{
    bytes.clear();
    if (encoding != kEncodingAnsi && encoding != kEncodingUtf16LE && encoding != kEncodingUtf8)
        return false;
    for (const auto& [name, keys] : sections_) {
        if (!writableSectionName(name) || (encoding == kEncodingAnsi && !holdsInAnsi(name)))
            return false;
        for (const auto& [key, value] : keys) {
            if (!writableKey(key) || holdsLineBreakOrZero(value.view()))
                return false;
            if (encoding == kEncodingAnsi && !holdsInAnsi(key))
                return false;
        }
    }

    // Keys of the unnamed section are those before any header: a "[]" header
    // would not read back.
    std::u16string text;
    if (const auto unnamed = sections_.find(SharedString()); unnamed != sections_.end() && !unnamed->second.empty()) {
        appendKeys(text, unnamed->second);
        text += u"\r\n";
    }
    for (const auto& [name, keys] : sections_) {
        if (name.isEmpty())
            continue;
        text += u'[';
        text += name.view();
        text += u"]\r\n";
        appendKeys(text, keys);
        text += u"\r\n";
    }
    if (text.empty())
        text = u"/ empty\r\n";

    switch (encoding) {
    case kEncodingUtf16LE:
        bytes = "\xFF\xFE";
        for (char16_t unit : text) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        return true;
    case kEncodingUtf8:
        bytes = "\xEF\xBB\xBF";
        appendUtf8(bytes, text);
        return true;
    default: {
        const SharedStringA narrow = SharedStringA::fromWide(text.data(), static_cast<int>(text.size()), kCodePageAnsi);
        if (narrow.isEmpty())
            return false;
        // Without a mark of its own, a file whose first bytes are those of a
        // mark ("\u00EF\u00BB\u00BF" in 1252 is the UTF-8 one) would be read in
        // another encoding, or lose them.
        int markLength = 0;
        findByteOrderMark(reinterpret_cast<const std::uint8_t*>(narrow.c_str()),
                          static_cast<std::size_t>(narrow.length()), &markLength);
        if (markLength > 0)
            return false;
        bytes.assign(narrow.view());
        return true;
    }
    }
}

bool IniFile::save(const SharedString& path, std::uint32_t encoding) const
{
    std::string bytes;
    if (!serialize(encoding, bytes))
        return false;
    if (!createDirectories(getParentFolder(path)))
        return false;
    PlatformFile file;
    if (!file.open(path.view(), kFileCreateAlways | kFileRead | kFileWrite))
        return false;
    return writeFile(file.handle(), bytes.data(), bytes.size()) == static_cast<std::int64_t>(bytes.size());
}

// ---- Values --------------------------------------------------------------------

bool IniFile::getValue(const SharedString& section, const SharedString& key, SharedString& value) const
{
    const auto keys = sections_.find(section);
    if (keys == sections_.end())
        return false;
    const auto found = keys->second.find(key);
    if (found == keys->second.end())
        return false;
    value = found->second;
    return true;
}

int IniFile::getInt(const SharedString& section, const SharedString& key, int defaultValue) const
{
    SharedString text;
    if (!getValue(section, key, text))
        return defaultValue;
    int value = 0;
    return parseInt(text.c_str(), value) ? value : defaultValue;
}

void IniFile::setValue(const SharedString& section, const SharedString& key, const SharedString& value)
{
    sections_[section][key] = value;
}

void IniFile::setInt(const SharedString& section, const SharedString& key, int value)
{
    setValue(section, key, intToText(value));
}

}  // namespace druvex
