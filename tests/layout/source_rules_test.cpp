// Rules for the program's own sources: narrow string literals hold ASCII only,
// because narrow literals are read with the device's ANSI code page while the
// compiler stores them as UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace druvex {
namespace {

// Offsets of narrow literals ("..." without a u, U, u8 or L prefix) that hold
// a byte above 0x7F. Comments, character literals and raw strings are skipped
// roughly; that is enough for code that follows the house style.
std::vector<std::size_t> nonAsciiNarrowLiterals(const std::string& text)
{
    std::vector<std::size_t> found;
    std::size_t i = 0;
    auto isIdentifier = [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
    };
    while (i < text.size()) {
        const char ch = text[i];
        if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i);
            continue;
        }
        if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 2;
            continue;
        }
        if (ch == '\'') {
            for (++i; i < text.size() && text[i] != '\'' && text[i] != '\n'; ++i)
                i += text[i] == '\\' ? 1 : 0;
            ++i;
            continue;
        }
        if (ch != '"') {
            ++i;
            continue;
        }
        // The prefix: the identifier characters just before the quote.
        std::size_t start = i;
        while (start > 0 && isIdentifier(text[start - 1]))
            --start;
        const std::string prefix = text.substr(start, i - start);
        const bool raw = !prefix.empty() && prefix.back() == 'R';
        const std::string encoding = raw ? prefix.substr(0, prefix.size() - 1) : prefix;
        const bool narrow = encoding.empty() || (encoding != "u" && encoding != "U" && encoding != "u8" && encoding != "L");
        std::size_t end;
        if (raw) {
            const std::size_t open = text.find('(', i);
            const std::string close = ")" + text.substr(i + 1, open - i - 1) + "\"";
            end = text.find(close, open);
            end = end == std::string::npos ? text.size() : end + close.size();
        } else {
            end = i + 1;
            while (end < text.size() && text[end] != '"' && text[end] != '\n')
                end += text[end] == '\\' ? 2 : 1;
            end = std::min(end + 1, text.size());
        }
        if (narrow) {
            for (std::size_t j = i; j < end; ++j) {
                if (static_cast<unsigned char>(text[j]) >= 0x80) {
                    found.push_back(j);
                    break;
                }
            }
        }
        i = end;
    }
    return found;
}

TEST(SourceRules, ScannerFindsNonAsciiNarrowLiterals)
{
    EXPECT_EQ(nonAsciiNarrowLiterals("f(\"ascii\"); g(u\"\xC3\xA9\"); h(u8\"\xC3\xA9\"); k(L\"\xC3\xA9\");").size(), 0u);
    EXPECT_EQ(nonAsciiNarrowLiterals("// caf\xC3\xA9 \"\xC3\xA9\"\n/* \"\xC3\xA9\" */ x = '\"';").size(), 0u);
    EXPECT_EQ(nonAsciiNarrowLiterals("x = \"caf\xC3\xA9\";").size(), 1u);
    EXPECT_EQ(nonAsciiNarrowLiterals("x = \"\\\"\xC3\xA9\";").size(), 1u);
    EXPECT_EQ(nonAsciiNarrowLiterals("x = R\"(\xC3\xA9)\"; y = uR\"(\xC3\xA9)\";").size(), 1u);
    EXPECT_EQ(nonAsciiNarrowLiterals("x = \"\\xE9\";").size(), 0u);  // escapes are the way to write bytes
}

TEST(SourceRules, NarrowLiteralsInSourcesAreAscii)
{
    const std::filesystem::path root = std::filesystem::path(DRUVEX_SOURCE_DIR) / "src";
    ASSERT_TRUE(std::filesystem::is_directory(root));
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp"))
            continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t offset : nonAsciiNarrowLiterals(text)) {
            const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
            ADD_FAILURE() << entry.path().string() << ":" << line
                          << ": a narrow string literal holds a non-ASCII byte; write it as a u\"\" literal";
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace druvex
