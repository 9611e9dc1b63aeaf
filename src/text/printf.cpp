#include "text/printf.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <optional>
#include <utility>
#include <string>
#include <type_traits>

#include "text/diag.h"
#include "text/string_resources.h"
#include "text/text_convert.h"

namespace druvex {
namespace {

enum class TextWidth { kFormat, kNarrow, kWide };

// One parsed conversion: %[flags][width][.precision][size]conversion.
struct Spec {
    bool leftAlign = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zeroPad = false;
    int width = 0;
    int precision = -1;  // -1: none given
    int integerBits = 32;
    TextWidth textWidth = TextWidth::kFormat;
    char conversion = 0;
    bool skip = false;  // a bad '*' argument: the conversion prints nothing
};

// Appends to the caller's string up to a limit and remembers whether more
// would have come.
template <class CharT>
class Output {
public:
    Output(std::basic_string<CharT>& out, std::size_t limit) : out_(out), end_(out.size() + limit) {}

    void put(std::basic_string_view<CharT> text)
    {
        const std::size_t room = end_ - out_.size();
        if (text.size() > room) {
            cut_ = true;
            text = text.substr(0, room);
        }
        out_.append(text);
    }
    void fill(CharT ch, std::size_t count)
    {
        const std::size_t room = end_ - out_.size();
        if (count > room) {
            cut_ = true;
            count = room;
        }
        out_.append(count, ch);
    }
    // Numbers come from the C library as ASCII.
    void putAscii(std::string_view text)
    {
        if constexpr (std::is_same_v<CharT, char>) {
            put(text);
        } else {
            CharT widened[64];
            while (!text.empty()) {
                const std::size_t count = std::min(text.size(), std::size(widened));
                std::copy_n(text.begin(), count, widened);
                put(std::basic_string_view<CharT>(widened, count));
                text.remove_prefix(count);
            }
        }
    }
    bool cut() const { return cut_; }

private:
    std::basic_string<CharT>& out_;
    std::size_t end_;
    bool cut_ = false;
};

template <class CharT>
constexpr bool kWideFormat = std::is_same_v<CharT, char16_t>;

std::size_t boundedLength(const char16_t* text, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && text[n])
        ++n;
    return n;
}

std::size_t boundedLength(const char* text, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && text[n])
        ++n;
    return n;
}

int clampToInt(std::size_t value)
{
    return static_cast<int>(std::min<std::size_t>(value, INT_MAX));
}

// Text of the other width goes through the ANSI code page, as the device's
// printf converts it.
std::optional<std::u16string> ansiToWide(const char* text, std::size_t length)
{
    if (length == 0)
        return std::u16string();
    const int bytes = clampToInt(length);
    const int units = countWideChars(text, bytes, kCodePageAnsi);
    if (units < 0)
        return std::nullopt;
    std::u16string result(static_cast<std::size_t>(units), u'\0');
    const int written = narrowToWide(result.data(), units, text, bytes, kCodePageAnsi);
    if (written < 0)
        return std::nullopt;
    result.resize(static_cast<std::size_t>(std::min(written, units)));
    return result;
}

std::optional<std::string> wideToAnsi(const char16_t* text, std::size_t length)
{
    if (length == 0)
        return std::string();
    const int units = clampToInt(length);
    const int bytes = countNarrowChars(text, units, kCodePageAnsi);
    if (bytes < 0)
        return std::nullopt;
    std::string result(static_cast<std::size_t>(bytes), '\0');
    const int written = wideToNarrow(result.data(), bytes, text, units, kCodePageAnsi);
    if (written < 0)
        return std::nullopt;
    result.resize(static_cast<std::size_t>(std::min(written, bytes)));
    return result;
}

// The narrow spec handed to snprintf: "%", the flags, "*.*", a size, the conversion.
class CSpec {
public:
    CSpec(const Spec& spec, std::string_view size)
    {
        text_[length_++] = '%';
        for (auto [on, flag] : {std::pair{spec.leftAlign, '-'}, std::pair{spec.plus, '+'},
                                std::pair{spec.space, ' '}, std::pair{spec.alternate, '#'},
                                std::pair{spec.zeroPad, '0'}}) {
            if (on)
                text_[length_++] = flag;
        }
        for (char ch : std::string_view("*.*"))
            text_[length_++] = ch;
        for (char ch : size)
            text_[length_++] = ch;
        text_[length_++] = spec.conversion == 'i' ? 'd' : spec.conversion;
        text_[length_] = 0;
    }
    const char* c_str() const { return text_; }

private:
    char text_[16];
    std::size_t length_ = 0;
};

// snprintf into a string of whatever size it needs.
template <class... Values>
std::string cFormat(const char* spec, Values... values)
{
    char small[128];
    const int needed = std::snprintf(small, sizeof small, spec, values...);
    if (needed < 0)
        return std::string();
    if (static_cast<std::size_t>(needed) < sizeof small)
        return std::string(small, static_cast<std::size_t>(needed));
    std::string result(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(result.data(), result.size(), spec, values...);
    result.resize(static_cast<std::size_t>(needed));
    return result;
}

template <class CharT>
class Formatter {
public:
    using View = std::basic_string_view<CharT>;

    Formatter(std::basic_string<CharT>& out, std::span<const FormatArg> args, std::size_t limit)
        : out_(out, limit), args_(args), fieldLimit_(clampToInt(std::min<std::size_t>(limit, INT_MAX / 2) + 1024))
    {
    }

    bool run(View pattern)
    {
        std::size_t at = 0;
        while (at < pattern.size()) {
            const std::size_t percent = pattern.find(CharT('%'), at);
            out_.put(pattern.substr(at, percent == View::npos ? View::npos : percent - at));
            if (percent == View::npos)
                break;
            at = percent + 1;
            Spec spec;
            if (!parse(pattern, at, spec)) {
                DRUVEX_DBGCHK("printf: incomplete conversion at the end of the format");
                break;
            }
            convert(spec);
        }
        return !out_.cut();
    }

private:
    static bool isDigit(CharT ch) { return ch >= CharT('0') && ch <= CharT('9'); }

    bool parse(View pattern, std::size_t& at, Spec& spec)
    {
        auto peek = [&](std::size_t ahead = 0) -> CharT {
            return at + ahead < pattern.size() ? pattern[at + ahead] : CharT{};
        };
        for (;; ++at) {
            const CharT ch = peek();
            if (ch == CharT('-'))
                spec.leftAlign = true;
            else if (ch == CharT('+'))
                spec.plus = true;
            else if (ch == CharT(' '))
                spec.space = true;
            else if (ch == CharT('#'))
                spec.alternate = true;
            else if (ch == CharT('0'))
                spec.zeroPad = true;
            else
                break;
        }
        bool argumentsOk = true;
        if (peek() == CharT('*')) {
            ++at;
            const std::optional<int> width = intArgument();
            argumentsOk = argumentsOk && width;
            if (width && *width < 0) {
                spec.leftAlign = true;
                spec.width = *width == INT_MIN ? INT_MAX : -*width;
            } else if (width) {
                spec.width = *width;
            }
        } else {
            spec.width = readNumber(pattern, at);
        }
        if (peek() == CharT('.')) {
            ++at;
            if (peek() == CharT('*')) {
                ++at;
                const std::optional<int> precision = intArgument();
                argumentsOk = argumentsOk && precision;
                spec.precision = precision && *precision >= 0 ? *precision : -1;
            } else {
                spec.precision = readNumber(pattern, at);
            }
        }
        spec.width = std::min(spec.width, fieldLimit_);
        spec.precision = std::min(spec.precision, fieldLimit_);
        parseSize(pattern, at, spec);
        if (at >= pattern.size())
            return false;
        const CharT conversion = pattern[at++];
        spec.conversion = static_cast<std::make_unsigned_t<CharT>>(conversion) < 0x80 ? static_cast<char>(conversion) : '?';
        spec.skip = !argumentsOk;
        return true;
    }

    int readNumber(View pattern, std::size_t& at)
    {
        long long value = 0;
        while (at < pattern.size() && isDigit(pattern[at])) {
            value = std::min<long long>(value * 10 + (pattern[at] - CharT('0')), INT_MAX);
            ++at;
        }
        return static_cast<int>(value);
    }

    void parseSize(View pattern, std::size_t& at, Spec& spec)
    {
        auto startsWith = [&](std::string_view prefix) {
            if (pattern.size() - at < prefix.size())
                return false;
            for (std::size_t i = 0; i < prefix.size(); ++i) {
                if (pattern[at + i] != static_cast<CharT>(prefix[i]))
                    return false;
            }
            return true;
        };
        if (startsWith("I64") || startsWith("ll")) {
            spec.integerBits = 64;
            at += startsWith("ll") ? 2 : 3;
        } else if (startsWith("I32")) {
            at += 3;
        } else if (startsWith("I")) {
            spec.integerBits = 64;  // the size of size_t here
            at += 1;
        } else if (startsWith("hh")) {
            spec.integerBits = 8;
            spec.textWidth = TextWidth::kNarrow;
            at += 2;
        } else if (startsWith("h")) {
            spec.integerBits = 16;
            spec.textWidth = TextWidth::kNarrow;
            at += 1;
        } else if (startsWith("l") || startsWith("w")) {
            spec.textWidth = TextWidth::kWide;
            at += 1;
        } else if (startsWith("L")) {
            at += 1;
        }
    }

    const FormatArg* nextArgument()
    {
        if (next_ >= args_.size()) {
            DRUVEX_DBGCHK("printf: no argument left for a conversion");
            return nullptr;
        }
        return &args_[next_++];
    }

    static bool isIntegerKind(const FormatArg& arg)
    {
        return arg.kind() == FormatArg::Kind::kSigned || arg.kind() == FormatArg::Kind::kUnsigned ||
               arg.kind() == FormatArg::Kind::kChar;
    }

    static void reportMismatch(char conversion)
    {
        const std::string message = std::string("printf: argument of the wrong kind for %") + conversion;
        DRUVEX_DBGCHK(message.c_str());
    }

    std::optional<int> intArgument()
    {
        const FormatArg* arg = nextArgument();
        if (!arg)
            return std::nullopt;
        if (!isIntegerKind(*arg)) {
            reportMismatch('*');
            return std::nullopt;
        }
        return static_cast<int>(static_cast<std::uint32_t>(arg->bits()));
    }

    void convert(const Spec& spec)
    {
        if (spec.skip && spec.conversion != '%') {
            nextArgument();
            return;
        }
        switch (spec.conversion) {
        case '%':
            out_.fill(CharT('%'), 1);
            return;
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return integer(spec);
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            return floating(spec);
        case 'c':
        case 'C':
            return character(spec);
        case 's':
        case 'S':
            return text(spec);
        case 'p':
            return pointer(spec);
        case 'n':
            nextArgument();
            DRUVEX_DBGCHK("printf: %n is refused");
            return;
        default: {
            const std::string message = std::string("printf: unknown conversion %") + spec.conversion;
            DRUVEX_DBGCHK(message.c_str());
            return;
        }
        }
    }

    void integer(const Spec& spec)
    {
        const FormatArg* arg = nextArgument();
        if (!arg)
            return;
        if (!isIntegerKind(*arg))
            return reportMismatch(spec.conversion);
        const int shift = 64 - spec.integerBits;
        const bool isSigned = spec.conversion == 'd' || spec.conversion == 'i';
        if (isSigned) {
            const long long value = static_cast<long long>(arg->bits() << shift) >> shift;
            const unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                                           : static_cast<unsigned long long>(value);
            if (plainInteger(spec, magnitude, value < 0))
                return;
        } else if (plainInteger(spec, (arg->bits() << shift) >> shift, false)) {
            return;
        }
        const CSpec format(spec, "ll");
        const int precision = spec.precision;  // -1 reads as "none given"
        if (isSigned) {
            const long long value = static_cast<long long>(arg->bits() << shift) >> shift;
            out_.putAscii(cFormat(format.c_str(), spec.width, precision, value));
        } else {
            const unsigned long long value = (arg->bits() << shift) >> shift;
            out_.putAscii(cFormat(format.c_str(), spec.width, precision, value));
        }
    }

    // The common integer conversions without snprintf, which costs more than
    // the rest of a log line: decimal and hexadecimal, no precision and no
    // '+', ' ' or '#' flag, a modest width. False leaves it to snprintf.
    bool plainInteger(const Spec& spec, unsigned long long magnitude, bool negative)
    {
        const bool hexadecimal = spec.conversion == 'x' || spec.conversion == 'X';
        if ((!hexadecimal && spec.conversion != 'd' && spec.conversion != 'i' && spec.conversion != 'u') ||
            spec.plus || spec.space || spec.alternate || spec.precision >= 0 || spec.width < 0 || spec.width > 64)
            return false;
        char digits[24];
        char* const digitsEnd = digits + sizeof digits;
        char* first = digitsEnd;
        if (hexadecimal) {
            const char* const symbols = spec.conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            do {
                *--first = symbols[magnitude & 15];
                magnitude >>= 4;
            } while (magnitude != 0);
        } else {
            do {
                *--first = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude != 0);
        }
        const std::size_t digitCount = static_cast<std::size_t>(digitsEnd - first);
        const std::size_t length = digitCount + (negative ? 1 : 0);
        const std::size_t padding = static_cast<std::size_t>(spec.width) > length ? spec.width - length : 0;
        char field[96];
        char* p = field;
        if (padding > 0 && !spec.leftAlign && !spec.zeroPad) {
            std::memset(p, ' ', padding);
            p += padding;
        }
        if (negative)
            *p++ = '-';
        if (padding > 0 && !spec.leftAlign && spec.zeroPad) {
            std::memset(p, '0', padding);
            p += padding;
        }
        std::memcpy(p, first, digitCount);
        p += digitCount;
        if (padding > 0 && spec.leftAlign) {
            std::memset(p, ' ', padding);
            p += padding;
        }
        out_.putAscii(std::string_view(field, static_cast<std::size_t>(p - field)));
        return true;
    }

    void floating(const Spec& spec)
    {
        const FormatArg* arg = nextArgument();
        if (!arg)
            return;
        if (arg->kind() != FormatArg::Kind::kDouble)
            return reportMismatch(spec.conversion);
        const CSpec format(spec, "");
        out_.putAscii(cFormat(format.c_str(), spec.width, spec.precision, arg->number()));
    }

    void pointer(const Spec& spec)
    {
        const FormatArg* arg = nextArgument();
        if (!arg)
            return;
        const auto kind = arg->kind();
        if (kind != FormatArg::Kind::kPointer && kind != FormatArg::Kind::kWideText &&
            kind != FormatArg::Kind::kNarrowText)
            return reportMismatch('p');
        const auto value = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(arg->pointer()));
        const std::string digits = cFormat("%0*llX", static_cast<int>(2 * sizeof(void*)), value);
        std::basic_string<CharT> wide(digits.begin(), digits.end());
        pad(spec, wide);
    }

    // Whether a %c or %s conversion wants wide text.
    static bool wantsWide(const Spec& spec)
    {
        if (spec.textWidth != TextWidth::kFormat)
            return spec.textWidth == TextWidth::kWide;
        const bool upper = spec.conversion == 'S' || spec.conversion == 'C';
        return kWideFormat<CharT> != upper;
    }

    void character(const Spec& spec)
    {
        const FormatArg* arg = nextArgument();
        if (!arg)
            return;
        if (!isIntegerKind(*arg))
            return reportMismatch(spec.conversion);
        const bool wide = wantsWide(spec);
        if (wide == kWideFormat<CharT>) {
            const CharT ch = static_cast<CharT>(arg->bits());
            return pad(spec, View(&ch, 1));
        }
        if (wide) {
            const char16_t unit = static_cast<char16_t>(arg->bits());
            return padConverted(spec, &unit, 1);
        }
        const char byte = static_cast<char>(arg->bits());
        padConverted(spec, &byte, 1);
    }

    void text(const Spec& spec)
    {
        const FormatArg* arg = nextArgument();
        if (!arg)
            return;
        const bool wide = wantsWide(spec);
        const auto kind = arg->kind();
        if (kind == FormatArg::Kind::kPointer && !arg->pointer())
            return pad(spec, nullText());
        const auto wantedKind = wide ? FormatArg::Kind::kWideText : FormatArg::Kind::kNarrowText;
        if (kind != wantedKind)
            return reportMismatch(spec.conversion);
        if (!arg->pointer())
            return pad(spec, nullText());
        if (isResourceId(arg->pointer())) {
            DRUVEX_DBGCHK("printf: a resource id is no text");
            return;
        }
        if (wide)
            return emitText(spec, static_cast<const char16_t*>(arg->pointer()), arg->textLength());
        emitText(spec, static_cast<const char*>(arg->pointer()), arg->textLength());
    }

    static std::basic_string<CharT> nullText()
    {
        return {CharT('('), CharT('n'), CharT('u'), CharT('l'), CharT('l'), CharT(')')};
    }

    template <class SourceT>
    void emitText(const Spec& spec, const SourceT* source, std::size_t length)
    {
        if (length == FormatArg::kZeroTerminated) {
            // Read no further than the precision: the text need not end there.
            // Every character gives at least one unit or byte, so that many
            // suffice for the other width too.
            length = boundedLength(source, spec.precision >= 0 ? static_cast<std::size_t>(spec.precision)
                                                               : FormatArg::kZeroTerminated);
        }
        padConverted(spec, source, length);
    }

    // Text of the other width, converted with the ANSI code page.
    template <class SourceT>
    void padConverted(const Spec& spec, const SourceT* source, std::size_t length)
    {
        if constexpr (std::is_same_v<SourceT, CharT>) {
            pad(spec, View(source, length));
        } else if constexpr (kWideFormat<CharT>) {
            const std::optional<std::u16string> converted = ansiToWide(source, length);
            if (!converted) {
                DRUVEX_DBGCHK("printf: narrow text not valid in the ANSI code page");
                return;
            }
            pad(spec, *converted);
        } else {
            const std::optional<std::string> converted = wideToAnsi(source, length);
            if (!converted) {
                DRUVEX_DBGCHK("printf: wide text not convertible to the ANSI code page");
                return;
            }
            pad(spec, *converted);
        }
    }

    // Strings, characters and pointers are padded here; the precision cuts
    // text (code units), and the '0' flag pads with zeros as on the device.
    void pad(const Spec& spec, View text)
    {
        if (spec.precision >= 0 && (spec.conversion == 's' || spec.conversion == 'S'))
            text = text.substr(0, static_cast<std::size_t>(spec.precision));
        const std::size_t width = static_cast<std::size_t>(std::max(spec.width, 0));
        const std::size_t padding = width > text.size() ? width - text.size() : 0;
        if (!spec.leftAlign)
            out_.fill(spec.zeroPad ? CharT('0') : CharT(' '), padding);
        out_.put(text);
        if (spec.leftAlign)
            out_.fill(CharT(' '), padding);
    }

    Output<CharT> out_;
    std::span<const FormatArg> args_;
    std::size_t next_ = 0;
    int fieldLimit_;
};

}  // namespace

bool printfFormat(std::u16string& out, std::u16string_view pattern, std::span<const FormatArg> args,
                  std::size_t limit)
{
    return Formatter<char16_t>(out, args, limit).run(pattern);
}

bool printfFormat(std::string& out, std::string_view pattern, std::span<const FormatArg> args, std::size_t limit)
{
    return Formatter<char>(out, args, limit).run(pattern);
}

}  // namespace druvex
