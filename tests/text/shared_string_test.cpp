// Shared strings: copy-on-write, the empty value, resources, clamping, editing,
// conversions, and reference counting across threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "text/shared_string.h"
#include "text/string_resources.h"
#include "text/text_convert.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

const void* emptyAddress()
{
    return SharedString::emptyString().c_str();
}

// ---- Copy-on-write -----------------------------------------------------------------

TEST(SharedStringCow, CopiesShareOneBlockUntilOneIsWritten)
{
    const SharedString original(u"shared text");
    SharedString copy = original;
    SharedString assigned;
    assigned = original;
    EXPECT_EQ(copy.c_str(), original.c_str());
    EXPECT_EQ(assigned.c_str(), original.c_str());
    EXPECT_EQ(original.refCount(), 3);

    copy.append(1, u"!");
    EXPECT_NE(copy.c_str(), original.c_str());
    EXPECT_EQ(copy, u"shared text!");
    EXPECT_EQ(original, u"shared text");
    EXPECT_EQ(original.refCount(), 2);
    EXPECT_EQ(copy.refCount(), 1);
}

TEST(SharedStringCow, EveryWriterDetachesFromASharer)
{
    using Edit = void (*)(SharedString&);
    const Edit edits[] = {
        [](SharedString& s) { s.append(2, u"xy"); },
        [](SharedString& s) { s += u'z'; },
        [](SharedString& s) { s.replace(u"b", u"B"); },
        [](SharedString& s) { s.replaceChar(u'a', u'A'); },
        [](SharedString& s) { s.remove(u'c'); },
        [](SharedString& s) { s.insert(1, u'-'); },
        [](SharedString& s) { s.deleteChars(0, 1); },
        [](SharedString& s) { s.trimRight(); },
        [](SharedString& s) { s.trimLeftChar(u' '); },
        [](SharedString& s) { s.getBuffer(10)[0] = u'Q'; s.releaseBuffer(); },
        [](SharedString& s) { s.assignCopy(1, u"q"); },
        [](SharedString& s) { s.format(u"%d", 42); },
    };
    for (std::size_t i = 0; i < std::size(edits); ++i) {
        const SharedString original(u" abc ");
        SharedString copy = original;
        edits[i](copy);
        EXPECT_EQ(original, u" abc ") << "edit " << i;
        EXPECT_NE(copy.c_str(), original.c_str()) << "edit " << i;
        EXPECT_EQ(original.refCount(), 1) << "edit " << i;
    }
}

TEST(SharedStringCow, EditsThatChangeNothingKeepTheBlockShared)
{
    const SharedString original(u"abc");
    SharedString copy = original;
    EXPECT_EQ(copy.replace(u"x", u"y"), 0);
    EXPECT_EQ(copy.replace(u"", u"y"), 0);
    EXPECT_EQ(copy.replace(nullptr, u"y"), 0);
    EXPECT_EQ(copy.replaceChar(u'x', u'y'), 0);
    EXPECT_EQ(copy.replaceChar(u'a', u'a'), 0);
    EXPECT_EQ(copy.remove(u'x'), 0);
    EXPECT_EQ(copy.c_str(), original.c_str());
    EXPECT_EQ(original.refCount(), 2);
}

TEST(SharedStringCow, EmptyStringsUseTheOneStaticValue)
{
    const SharedString fromDefault;
    const SharedString fromNull(static_cast<const char16_t*>(nullptr));
    const SharedString fromEmpty(u"");
    const SharedString fromBuffer = SharedString::fromBuffer(u"abc", 0);
    const SharedStringA narrow;
    SharedString cleared(u"text");
    cleared.clear();
    const SharedString copy = fromDefault;  // copies of the empty value stay on it
    for (const SharedString* s :
         std::initializer_list<const SharedString*>{&fromDefault, &fromNull, &fromEmpty, &fromBuffer, &cleared, &copy}) {
        EXPECT_EQ(static_cast<const void*>(s->c_str()), emptyAddress());
        EXPECT_EQ(s->refCount(), -1);
        EXPECT_EQ(s->length(), 0);
        EXPECT_EQ(s->c_str()[0], u'\0');
    }
    // Both widths share the one empty value.
    EXPECT_EQ(static_cast<const void*>(narrow.c_str()), emptyAddress());
    EXPECT_EQ(narrow.c_str()[0], '\0');
}

TEST(SharedStringCow, SourcesInsideTheOwnBlockSurviveReallocation)
{
    SharedString text(u"abc");
    text.append(text.length(), text.c_str());
    EXPECT_EQ(text, u"abcabc");
    text.assignCopy(3, text.c_str() + 3);
    EXPECT_EQ(text, u"abc");
    SharedString shared = text;
    text.replace(text.c_str() + 1, text.c_str());  // "bc" -> "abc"
    EXPECT_EQ(text, u"aabc");
    EXPECT_EQ(shared, u"abc");
    text = text;
    EXPECT_EQ(text, u"aabc");
}

// ---- Buffers -------------------------------------------------------------------------

TEST(SharedStringBuffer, DirectWritesThroughGetAndReleaseBuffer)
{
    SharedString text(u"ab");
    char16_t* buffer = text.getBuffer(5);
    EXPECT_EQ(buffer[0], u'a');
    buffer[2] = u'c';
    buffer[3] = u'\0';
    text.releaseBuffer();
    EXPECT_EQ(text, u"abc");

    buffer = text.getBuffer(8);
    for (int i = 0; i < 8; ++i)
        buffer[i] = static_cast<char16_t>(u'0' + i);
    text.releaseBuffer(6);
    EXPECT_EQ(text, u"012345");
    EXPECT_EQ(text.c_str()[6], u'\0');

    SharedString fresh;
    std::copy_n(u"xyz", 3, fresh.allocBeforeWrite(3));
    fresh.releaseBuffer(3);
    EXPECT_EQ(fresh, u"xyz");
}

TEST(SharedStringBuffer, NeverTheStaticValueAndNeverPastTheBlock)
{
    SharedString empty;
    char16_t* buffer = empty.getBuffer(0);
    EXPECT_NE(static_cast<const void*>(buffer), emptyAddress());
    buffer[0] = u'\0';
    empty.releaseBuffer();
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(SharedString::emptyString().length(), 0);

    test::DiagCapture diag;
    SharedString text(u"abc");
    std::copy_n(u"xyz", 3, text.getBuffer(3));
    text.releaseBuffer(100);
    EXPECT_EQ(text, u"xyz");
    EXPECT_EQ(diag.dbgChkCount(), 1);
}

TEST(SharedStringBuffer, CopyRangeLeavesZeroedRoomForTheCaller)
{
    const SharedString text(u"abcdef");
    const SharedString range = text.copyRange(3, 2, 2);
    ASSERT_EQ(range.length(), 5);
    EXPECT_EQ(range.view(), std::u16string_view(u"cde\0\0", 5));
    EXPECT_TRUE(text.copyRange(0, 2, 0).isEmpty());
    EXPECT_EQ(text.copyRange(10, 4, 0), u"ef");  // kept inside the text
}

// ---- Clamping, search, editing ----------------------------------------------------

TEST(SharedStringClamp, ExtractionClampsIndexAndCount)
{
    const SharedString four(u"abcd");
    const SharedString abc(u"abc");
    struct Case {
        SharedString result;
        const char16_t* expected;
    };
    const Case cases[] = {
        {four.mid(5, 3), u""},    {four.mid(1, 2), u"bc"},    {four.mid(-3, 2), u"ab"},
        {four.mid(2, -1), u""},   {four.mid(2, 100), u"cd"},  {four.midToEnd(-2), u"abcd"},
        {four.midToEnd(3), u"d"}, {four.midToEnd(4), u""},    {four.left(-1), u""},
        {four.left(2), u"ab"},    {four.left(9), u"abcd"},    {abc.right(10), u"abc"},
        {abc.right(2), u"bc"},    {abc.right(-1), u""},       {four.mid(0, 0x7FFFFFFF), u"abcd"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, c.expected);
    // Results equal to the whole text share its block.
    EXPECT_EQ(four.left(4).c_str(), four.c_str());
    EXPECT_EQ(four.midToEnd(-2).c_str(), four.c_str());
}

TEST(SharedStringClamp, InsertAndDeleteReturnTheirLengths)
{
    SharedString text(u"abcdef");
    EXPECT_EQ(text.deleteChars(1, 100), 6);
    EXPECT_EQ(text, u"a");

    text = u"abcdef";
    EXPECT_EQ(text.deleteChars(-5, 2), 6);
    EXPECT_EQ(text, u"cdef");
    EXPECT_EQ(text.deleteChars(4, 1), 4);
    EXPECT_EQ(text.deleteChars(1, 0), 4);
    EXPECT_EQ(text, u"cdef");

    text = u"ab";
    EXPECT_EQ(text.insert(99, u'x'), 3);
    EXPECT_EQ(text, u"abx");
    EXPECT_EQ(text.insert(-4, u'<'), 4);
    EXPECT_EQ(text, u"<abx");
    SharedString empty;
    EXPECT_EQ(empty.insert(0, u'e'), 1);
    EXPECT_EQ(empty, u"e");
}

TEST(SharedStringClamp, IndexOutsideTheTextReadsZero)
{
    test::DiagCapture diag;
    const SharedString text(u"ab");
    EXPECT_EQ(text[1], u'b');
    EXPECT_EQ(text[2], u'\0');
    EXPECT_EQ(text[3], u'\0');
    EXPECT_EQ(text[-1], u'\0');
    EXPECT_EQ(diag.dbgChkCount(), 2);
}

TEST(SharedStringSearch, FindAndTokenize)
{
    EXPECT_EQ(SharedString(u"abcb").find(u'b'), 1);
    for (const char16_t absent : {u'z', u'\0'})
        EXPECT_EQ(SharedString(u"abcb").find(absent), -1);
    EXPECT_EQ(SharedString().find(u'a'), -1);

    struct Step {
        const char16_t* token;
        int position;
    };
    struct Case {
        const char16_t* text;
        const char16_t* delimiters;
        int start;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {u"a, b", u" ,", 0, {{u"a", 2}, {u"b", 4}, {u"", -1}}},
        {u",,a,,bc,", u",", 0, {{u"a", 4}, {u"bc", 8}, {u"", -1}}},
        {u"abc", u"", 1, {{u"bc", 3}, {u"", -1}}},
        {u"abc", nullptr, 0, {{u"abc", 3}, {u"", -1}}},
        {u"abc", u",", -1, {{u"", -1}}},
        {u"abc", u",", 7, {{u"", -1}}},
        {u"   ", u" ", 0, {{u"", -1}}},
    };
    for (const Case& c : cases) {
        const SharedString text(c.text);
        int position = c.start;
        for (const Step& step : c.steps) {
            EXPECT_EQ(text.tokenize(c.delimiters, position), step.token) << testing::PrintToString(text);
            EXPECT_EQ(position, step.position);
        }
    }
}

TEST(SharedStringEdit, ReplaceRemoveAndReplaceCharCountEveryOccurrence)
{
    struct Case {
        const char16_t* text;
        const char16_t* from;
        const char16_t* to;
        int count;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"aaaa", u"aa", u"b", 2, u"bb"},      {u"aaa", u"aa", u"b", 1, u"ba"},
        {u"abcabc", u"bc", u"XYZ", 2, u"aXYZaXYZ"}, {u"abc", u"b", nullptr, 1, u"ac"},
        {u"abc", u"abc", u"", 1, u""},         {u"abc", u"x", u"y", 0, u"abc"},
    };
    for (const Case& c : cases) {
        SharedString text(c.text);
        const SharedString sharer = text;
        EXPECT_EQ(text.replace(c.from, c.to), c.count) << static_cast<const void*>(c.text);
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(sharer, c.text);
    }
    SharedString text(u"a-b-c-");
    EXPECT_EQ(text.replaceChar(u'-', u'+'), 3);
    EXPECT_EQ(text, u"a+b+c+");
    EXPECT_EQ(text.remove(u'+'), 3);
    EXPECT_EQ(text, u"abc");
}

TEST(SharedStringEdit, ReplaceLooksBehindZerosAndRefusesALengthBeyondTheRange)
{
    SharedString text(std::u16string_view(u"a\0a", 3));
    EXPECT_EQ(text.replace(u"a", u"bb"), 2);
    EXPECT_EQ(text.view(), std::u16string_view(u"bb\0bb", 5));

    SharedString many(std::u16string(50000, u'a'));
    EXPECT_THROW(many.replace(u"a", std::u16string(50000, u'b').c_str()), std::length_error);
    EXPECT_EQ(many.length(), 50000);
}

TEST(SharedStringEdit, ConcatenationAndAppend)
{
    const SharedString a(u"ab");
    const SharedString b(u"cd");
    EXPECT_EQ(SharedString::concatString(a, b), u"abcd");
    EXPECT_EQ(SharedString::concatText(a, u"xy"), u"abxy");
    EXPECT_EQ(SharedString::concatText(a, nullptr), u"ab");
    EXPECT_EQ(SharedString::concatTextFirst(u"xy", b), u"xycd");
    EXPECT_EQ(SharedString::concatTextFirst(nullptr, b), u"cd");
    EXPECT_EQ(SharedString::concatChar(a, u'!'), u"ab!");
    EXPECT_EQ(a + b + u"." + u'z', u"abcd.z");
    EXPECT_EQ(u"<" + a, u"<ab");
    EXPECT_EQ(a, u"ab");
    SharedString text;
    text += a;
    text += std::u16string_view(u"12");
    text += u"34";
    text.append(0, u"zz");
    EXPECT_EQ(text, u"ab1234");
}

TEST(SharedStringEdit, TrimUsesTheSpaceClass)
{
    SharedString text(u"\u3000\t a b\u00A0\r\n\u2029");
    SharedString sharer = text;
    text.trimRight();
    EXPECT_EQ(text, u"\u3000\t a b");
    text.trimLeft();
    EXPECT_EQ(text, u"a b");
    EXPECT_EQ(sharer.length(), 10);

    text = u"xxabxx";
    text.trimLeftChar(u'x');
    EXPECT_EQ(text, u"abxx");
    text.trimRightChar(u'x');
    EXPECT_EQ(text, u"ab");
    text = u"\u200B ab";  // zero-width space is no white space
    text.trimLeft();
    EXPECT_EQ(text, u"\u200B ab");

    SharedString all(u" \t ");
    all.trimRight();
    EXPECT_TRUE(all.isEmpty());
}

TEST(SharedStringEdit, NarrowTrimLeavesUpperHalfBytes)
{
    SharedStringA text("\xA0 ab \xC2\xA0");  // UTF-8 no-break space at the end
    text.trimRight();
    EXPECT_EQ(text, "\xA0 ab \xC2\xA0");
    text.trimLeft();
    EXPECT_EQ(text, "\xA0 ab \xC2\xA0");
    text = " \tab\r\n";
    text.trimLeft();
    text.trimRight();
    EXPECT_EQ(text, "ab");
}

TEST(SharedStringCompare, NoCase)
{
    EXPECT_LT(compareNoCase(u"abc", u"ABD"), 0);
    EXPECT_EQ(compareNoCase(u"", u""), 0);
    EXPECT_EQ(compareNoCase(u"Stra\u00DFe", u"STRA\u1E9EE"), 0);
    EXPECT_EQ(compareNoCase(u"\u0130", u"i"), 0);
    EXPECT_EQ(compareNoCase(u"\u0391\u0392", u"\u03B1\u03B2"), 0);
    EXPECT_EQ(compareNoCase(u"ab", u"ABC"), -static_cast<int>(u'C'));  // b's own character, not lowered
    EXPECT_GT(compareNoCase(u"abc", u"AB"), 0);
    EXPECT_EQ(compareNoCase(u"B", u"a"), 1);
    EXPECT_EQ(compareNoCase(nullptr, u""), 0);
}

TEST(SharedStringCompare, ExactOperators)
{
    const SharedString a(u"abc");
    EXPECT_TRUE(a == SharedString(u"abc"));
    EXPECT_FALSE(a == u"ABC");
    EXPECT_TRUE(a == std::u16string_view(u"abc"));
    EXPECT_TRUE(SharedString(u"ab") < a);
    EXPECT_TRUE(SharedString(u"B") < SharedString(u"a"));
    EXPECT_TRUE(SharedString(u"\uFFFF") > SharedString(u"\xD800"));
    EXPECT_FALSE(SharedString(std::u16string_view(u"a\0", 2)) == u"a");
}

TEST(SharedStringCompare, MoveCharsHandlesOverlap)
{
    char16_t buffer[] = u"abcdef";
    moveChars(buffer + 2, buffer, 3);
    EXPECT_EQ(std::u16string_view(buffer), u"ababcf");
    moveChars(buffer, buffer + 1, 4);
    EXPECT_EQ(std::u16string_view(buffer), u"babccf");
}

// ---- Resources ------------------------------------------------------------------------

class SharedStringResource : public testing::Test {
protected:
    void TearDown() override
    {
        StringResources::reset();
        setAnsiCodePage(kCodePageAnsi);
    }
};

TEST_F(SharedStringResource, PointerBelow0x10000LoadsTheResourceButNullIsEmpty)
{
    StringResources::set(0x0123, u"Hello");
    EXPECT_EQ(SharedString(resourceId(0x0123)), u"Hello");
    EXPECT_EQ(SharedString(resourceId(0x0124)), u"");
    EXPECT_EQ(SharedString::concatTextFirst(resourceId(0x0123), SharedString(u"!")), u"Hello!");

    SharedString text(u"previous");
    EXPECT_TRUE(text.loadString(0x0123));
    EXPECT_EQ(text, u"Hello");
    EXPECT_FALSE(text.loadString(0x0124));
    EXPECT_TRUE(text.isEmpty());
    StringResources::set(0x0125, u"");
    EXPECT_FALSE(text.loadString(0x0125));
    // Null is empty even with a resource 0.
    StringResources::set(0, u"zero");
    EXPECT_TRUE(SharedString(static_cast<const char16_t*>(nullptr)).isEmpty());
    EXPECT_TRUE(SharedStringA(static_cast<const char*>(nullptr)).isEmpty());
}

TEST_F(SharedStringResource, LongTextsComeBackWholeAndEndAtTheirFirstZero)
{
    for (std::size_t size : {254u, 255u, 256u, 511u, 1000u}) {
        const std::u16string text(size, u'r');
        StringResources::set(7, text);
        SharedString loaded(resourceId(7));
        EXPECT_EQ(loaded.length(), static_cast<int>(size));
    }
    StringResources::set(8, std::u16string_view(u"ab\0cd", 5));
    EXPECT_EQ(SharedString(resourceId(8)), u"ab");
    StringResources::erase(8);
    EXPECT_TRUE(SharedString(resourceId(8)).isEmpty());
}

TEST_F(SharedStringResource, NarrowStringsConvertWithTheAnsiCodePage)
{
    StringResources::set(0x0200, u"\u00E9t\u00E9 \u20AC");
    EXPECT_EQ(SharedStringA(resourceIdA(0x0200)), "\xE9t\xE9 \x80");
    setAnsiCodePage(1251);
    StringResources::set(0x0201, u"\u0416");
    EXPECT_EQ(SharedStringA(resourceIdA(0x0201)), "\xC6");
}

// ---- Conversions ----------------------------------------------------------------------

TEST(SharedStringConvert, FromCodePageFromWideAndUtf8)
{
    EXPECT_EQ(SharedString::fromCodePage("caf\xC3\xA9", kCodePageUtf8), u"caf\u00E9");
    EXPECT_EQ(SharedString::fromCodePage("caf\xE9", kCodePageAnsi), u"caf\u00E9");
    EXPECT_EQ(SharedString::fromCodePage("abcdef", 3, kCodePageAnsi), u"abc");
    EXPECT_TRUE(SharedString::fromCodePage("abc", -1, kCodePageAnsi).isEmpty());
    EXPECT_TRUE(SharedString::fromCodePage("\xC3", kCodePageUtf8).isEmpty());
    EXPECT_TRUE(SharedString::fromCodePage(nullptr, kCodePageUtf8).isEmpty());

    EXPECT_EQ(SharedStringA::fromWide(u"caf\u00E9", kCodePageUtf8), "caf\xC3\xA9");
    EXPECT_EQ(SharedStringA::fromWide(u"caf\u00E9", kCodePageAnsi), "caf\xE9");
    EXPECT_EQ(SharedStringA::fromWide(u"abcdef", 2, kCodePageUtf8), "ab");
    EXPECT_TRUE(SharedStringA::fromWide(u"abc", -1, kCodePageUtf8).isEmpty());
    EXPECT_TRUE(SharedStringA::fromWide(u"\xD800", kCodePageUtf8).isEmpty());

    SharedStringA narrow("old");
    narrow.assignWide(u"\u00FC\u4E00");
    EXPECT_EQ(narrow, "\xFC?");

    const SharedString wide(u"x\U0001F600\u00E9");
    const SharedStringA utf8 = toUtf8(wide);
    EXPECT_EQ(utf8, "x\xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(fromUtf8(utf8.view()), wide);
    EXPECT_TRUE(fromUtf8("\xF8").isEmpty());
    EXPECT_TRUE(toUtf8(SharedString(u"\xDE00")).isEmpty());
}

// ---- Threads --------------------------------------------------------------------------

TEST(SharedStringThreads, CopiesReleasedOnManyThreadsLeaveOneCount)
{
    const SharedString original(u"shared across threads");
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&original] {
            for (int i = 0; i < 100000; ++i) {
                SharedString copy = original;
                SharedString second;
                second = copy;
                if (i % 1000 == 0) {
                    second.append(1, u"!");  // a private block, written and freed here
                    ASSERT_EQ(second.length(), original.length() + 1);
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(original.refCount(), 1);
    EXPECT_EQ(original, u"shared across threads");
}

TEST(SharedStringThreads, LastReleaseOnAnotherThreadFreesTheBlock)
{
    std::vector<SharedString> copies;
    {
        const SharedString original(u"handed over");
        for (int i = 0; i < 8; ++i)
            copies.push_back(original);
    }
    std::vector<std::thread> threads;
    for (SharedString& copy : copies) {
        threads.emplace_back([text = std::move(copy)]() mutable {
            SharedString local = text;
            text.clear();
            EXPECT_EQ(local, u"handed over");
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace
}  // namespace druvex
