#include "core/natural_compare.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace druvex {
namespace {

int compare(std::u16string_view a, std::u16string_view b)
{
    return naturalCompare(static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()), b.data());
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(Natural, OrdersLikeAPerson)
{
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int expected;  // sign of the result
    };
    const Case cases[] = {
        {u"file2", u"file10", -1}, {u"file10", u"file9", 1}, {u"a2", u"a10", -1}, {u"a12", u"a13", -1},
        {u"File1", u"file1", 0}, {u"FILE10", u"file9", 1}, {u"file01", u"file1", -1}, {u"file1a", u"file01a", 1},
        {u"007", u"7", -1}, {u"0", u"00", 1}, {u"a_b", u"a-b", -1}, {u"a b", u"ab", -1}, {u"a.txt", u"a1.txt", -1},
        {u"", u"a", -1}, {u"", u"", 0}, {u"abc", u"ab", 1}, {u"x2y", u"x10y", -1}, {u"v1.10", u"v1.9", 1},
        {u"v1.2.3", u"v1.2.3", 0}, {u"x100", u"x099", 1},
        // Apostrophe and hyphen weigh more than the digits.
        {u"a1", u"a-1", -1}, {u"a9b", u"a'b", -1},
        // Characters without a weight keep their code: '<' ties with the apostrophe.
        {u"a<b", u"a'b", 0}, {u"a!", u"a#", -1}, {u"a=", u"a+", 1},
        // Case mapping beyond ASCII.
        {u"\u00C4b", u"\u00E4a", 1}, {u"\u0130", u"i", 0},
    };
    for (const Case& c : cases) {
        const std::u16string a(c.a);
        const std::u16string b(c.b);
        EXPECT_EQ(sign(compare(a, b)), c.expected) << std::string(a.begin(), a.end()) << " vs "
                                                   << std::string(b.begin(), b.end());
        EXPECT_EQ(sign(compare(b, a)), -c.expected) << "reversed";
    }
}

TEST(Natural, HonoursExplicitLengthsWithoutTerminator)
{
    // Exactly sized heap buffers: a read past the length shows under ASan.
    const std::vector<char16_t> a{u'f', u'i', u'l', u'e', u'1', u'0'};
    const std::vector<char16_t> b{u'f', u'i', u'l', u'e', u'1', u'x'};
    EXPECT_EQ(naturalCompare(5, a.data(), 5, b.data()), 0);
    EXPECT_GT(naturalCompare(6, a.data(), 5, b.data()), 0);
    const std::vector<char16_t> zeros{u'0', u'0', u'0'};
    const std::vector<char16_t> seven{u'0', u'0', u'7'};
    EXPECT_LT(naturalCompare(3, zeros.data(), 3, seven.data()), 0);
    EXPECT_LT(naturalCompare(0, nullptr, 3, seven.data()), 0);
    EXPECT_GT(naturalCompare(3, seven.data(), 0, nullptr), 0);
}

TEST(Natural, HelpersFollowTheirRules)
{
    int zeros = -1;
    const std::u16string text = u"x0042y000z0";
    EXPECT_EQ(skipLeadingZeros(text.data(), 1, 11, zeros), 3);
    EXPECT_EQ(zeros, 2);
    EXPECT_EQ(skipLeadingZeros(text.data(), 6, 11, zeros), 8);  // "000" then a letter: the last '0' stays
    EXPECT_EQ(zeros, 2);
    EXPECT_EQ(skipLeadingZeros(text.data(), 10, 11, zeros), 10);
    EXPECT_EQ(zeros, 0);

    int punctuation = 0;
    for (char16_t ch = 0; ch < 0x80; ++ch)
        punctuation += isSortPunctuation(ch) ? 1 : 0;
    EXPECT_EQ(punctuation, 24);
    for (char16_t ch : {u'"', u'*', u'/', u':', u'<', u'>', u'?', u'\\', u'|'})
        EXPECT_FALSE(isSortPunctuation(ch));
    EXPECT_FALSE(isAsciiDigit(u'\u0660'));  // Arabic-Indic zero is no digit here
}

// Sorting needs a consistent order: check antisymmetry and transitivity on
// random short names over an alphabet rich in zeros, digits and punctuation.
TEST(Natural, IsAConsistentOrder)
{
    const std::u16string alphabet = u"0012aA_-.' 9";
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 6);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::vector<std::u16string> names(400);
    for (std::u16string& name : names) {
        name.resize(static_cast<std::size_t>(length(random)));
        for (char16_t& ch : name)
            ch = alphabet[pick(random)];
    }
    int violations = 0;
    for (const auto& a : names)
        for (const auto& b : names)
            violations += sign(compare(a, b)) != -sign(compare(b, a)) ? 1 : 0;
    EXPECT_EQ(violations, 0) << "antisymmetry";

    std::uniform_int_distribution<std::size_t> index(0, names.size() - 1);
    for (int i = 0; i < 20000; ++i) {
        const auto& a = names[index(random)];
        const auto& b = names[index(random)];
        const auto& c = names[index(random)];
        if (compare(a, b) <= 0 && compare(b, c) <= 0 && compare(a, c) > 0)
            ++violations;
    }
    EXPECT_EQ(violations, 0) << "transitivity";
}

}  // namespace
}  // namespace druvex
