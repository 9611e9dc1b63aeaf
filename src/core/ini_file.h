// Ini files: sections of keys and values, read from 8-bit (ANSI code page),
// UTF-16 or UTF-8 text and written back in a chosen encoding. The reader is
// strict: one line it does not understand fails the whole load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "text/byte_order_mark.h"
#include "text/shared_string.h"

namespace druvex {

// Keys to values, ordered by code units (keys are case-sensitive).
using IniSection = std::map<SharedString, SharedString>;

// Why a load failed, and where each key was read; for callers that show the
// reader's verdict to a person (the device profile).
struct IniLoadReport {
    int failedLine = 0;       // 1-based line of the refused line; 0 when the file could not be read
    SharedString failedText;  // that line, its first 120 characters and "..." when longer
    const char* reason = "";  // ASCII
    // The line each key was last set on, by section and key.
    std::map<std::pair<SharedString, SharedString>, int> keyLines;
};

// One line after another from a block of text in one encoding. Runs of CR
// and LF are skipped, so empty lines never come out.
class IniLineReader {
public:
    // `data` starts after the byte-order mark. UTF-16 text ignores an odd
    // last byte.
    IniLineReader(const std::uint8_t* data, std::size_t size, TextFileEncoding encoding);

    bool atEnd() const;
    // The next line converted to UTF-16 (UTF-8 with code page 65001, ANSI with
    // code page 0); empty at the end.
    SharedString readLine();
    // The 1-based line number of the line readLine returned last (CR LF, a
    // lone CR and a lone LF each end one line).
    int lineNumber() const { return lineNumber_; }
    // True when the last line's bytes did not convert (it came out empty).
    bool lastLineUnconverted() const { return unconverted_; }

private:
    bool isLineEnd(std::size_t index) const;
    char16_t unitAt(std::size_t index) const;
    void skipLineEnds();

    const std::uint8_t* data_;
    std::size_t units_;  // code units in the block
    TextFileEncoding encoding_;
    std::size_t position_ = 0;
    int lineEndsSeen_ = 0;
    int lineNumber_ = 0;
    bool unconverted_ = false;
};

class IniFile {
public:
    using SectionMap = std::map<SharedString, IniSection>;

    // Clears the map and reads a device path; false when the file cannot be
    // mapped (an empty file included) or a line is refused (the map then holds
    // what came before it). `encoding` receives the encoding found (1 ANSI, 2
    // UTF-16, 3 UTF-8) only on success.
    [[nodiscard]] bool load(const SharedString& path, std::uint32_t* encoding = nullptr,
                            IniLoadReport* report = nullptr);
    // The same over bytes in memory (the byte-order mark included).
    bool parse(const std::uint8_t* bytes, std::size_t size, std::uint32_t* encoding = nullptr,
               IniLoadReport* report = nullptr);

    // Writes the file (its folder made when missing) in `encoding` with its
    // byte-order mark (none for 1). Keys of the section with the empty name
    // come first, without a header; then each section as "[name]", its
    // "key=value" lines and an empty line; CR LF line ends. An empty map is the
    // line "/ empty". Refused before the file is touched: an unknown encoding,
    // and a name, key or value that would not read back as written (in the
    // ANSI encoding also a name or key the code page cannot hold, and a text
    // whose first bytes are those of a byte-order mark; a value character the
    // code page lacks becomes '?'). False when a write fails.
    bool save(const SharedString& path, std::uint32_t encoding) const;
    // The bytes save writes; false for what save refuses.
    bool serialize(std::uint32_t encoding, std::string& bytes) const;

    bool getValue(const SharedString& section, const SharedString& key, SharedString& value) const;
    // The value as a decimal int ("12ab" is 12); `defaultValue` when the key is
    // missing or the value holds no number in the int range.
    int getInt(const SharedString& section, const SharedString& key, int defaultValue) const;
    // Creates the section when missing; sets or replaces the key.
    void setValue(const SharedString& section, const SharedString& key, const SharedString& value);
    void setInt(const SharedString& section, const SharedString& key, int value);

    const SectionMap& sections() const { return sections_; }
    void clear() { sections_.clear(); }

private:
    SectionMap sections_;
};

// Whether a key line may start with this character: a letter, a digit or '_'.
// Letters are the ASCII ones and every character from U+00C0 on except the
// space class, U+00D7 and U+00F7 (the same on every machine and locale).
bool isIniKeyStart(char16_t ch);

}  // namespace druvex
