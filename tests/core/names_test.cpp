#include "core/names.h"

#include <gtest/gtest.h>

#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

bool allows(int kind, char16_t ch)
{
    const char16_t text[] = {u'a', ch, u'b', 0};
    return isValidName(SharedString(text), 10, kind);
}

TEST(Names, ForbiddenCharactersDifferByKind)
{
    struct Case {
        int kind;
        char16_t ch;
        bool allowed;
    };
    const Case cases[] = {
        {1, u'(', false}, {13, u'(', true},   {1, u')', false}, {13, u')', true},
        {13, u'!', false}, {1, u'!', true},   {13, u'#', false}, {1, u'#', true},
        {13, u'+', false}, {1, u'+', true},   {1, u'=', false}, {13, u'=', false},
        {1, u'`', false},  {13, u'`', false}, {17, u':', false}, {18, u':', true},
        {17, u'\\', false}, {18, u'\\', true}, {17, u'/', false}, {18, u'/', true},
        {18, u'?', false}, {18, u'*', false}, {18, u'|', false}, {18, u'"', false},
        {2, u',', false},  {2, u'|', false},  {2, u'{', false},  {2, u'}', false},
        {2, u'?', true},   {2, u'\\', true},  {2, u'(', true},   {19, u'{', false},
        {17, u',', true},  {18, u'{', true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(allows(c.kind, c.ch), c.allowed) << "kind " << c.kind << " char " << char(c.ch);
}

TEST(Names, EveryKnownKindRefusesLineBreaksAndTabs)
{
    for (int kind = 1; kind <= 19; ++kind) {
        for (char16_t ch : {u'\t', u'\r', u'\n'})
            EXPECT_FALSE(allows(kind, ch)) << "kind " << kind;
    }
}

TEST(Names, ShortSetKindsShareOneSet)
{
    const SharedString shortSet = invalidNameCharacters(2);
    EXPECT_EQ(shortSet, u",|{}\t\r\n");
    for (int kind : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 19})
        EXPECT_EQ(invalidNameCharacters(kind), shortSet) << "kind " << kind;
    // The strict set is shown to users as it stands: it starts with the comma.
    EXPECT_EQ(invalidNameCharacters(1)[0], u',');
    EXPECT_EQ(invalidNameCharacters(13)[0], u'!');
}

TEST(Names, UnknownKindIsReportedAndChecksTheKind13Set)
{
    for (int kind : {0, 20, -1}) {
        test::DiagCapture capture;
        EXPECT_EQ(invalidNameCharacters(kind), invalidNameCharacters(13));
        EXPECT_EQ(capture.dbgChkCount(), 1) << "kind " << kind;
        EXPECT_TRUE(capture.contains(u"orv_formats"));
    }
    test::DiagCapture capture;
    EXPECT_FALSE(isValidName(SharedString(u"a+b"), 10, 20));
    EXPECT_TRUE(isValidName(SharedString(u"a(b"), 10, 20));
    EXPECT_EQ(capture.dbgChkCount(), 2);
}

TEST(Names, ValidityChecksEmptinessAndLength)
{
    EXPECT_FALSE(isValidName(SharedString(), 10, 18));
    EXPECT_TRUE(isValidName(SharedString(u"Job 1"), 10, 18));
    EXPECT_TRUE(isValidName(SharedString(u"Job 1"), 5, 18));
    EXPECT_FALSE(isValidName(SharedString(u"Job 12"), 5, 18));
    EXPECT_FALSE(isValidName(SharedString(u"a:b"), 10, 17));
    EXPECT_TRUE(isValidName(SharedString(u"a:b"), 10, 18));
    // Characters beyond ASCII are allowed everywhere.
    EXPECT_TRUE(isValidName(SharedString(u"M\u00FCller \u6E2C\u91CF"), 10, 1));
}

}  // namespace
}  // namespace druvex
