#include "host/hal/os_version.h"

#include <gtest/gtest.h>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

struct OsVersionRow {
    std::int32_t id;
    const char16_t* name;
    const char16_t* key;
};

const OsVersionRow kRows[] = {
    {0, u"Unknown Windows version", u""},
    {1, u"Windows 2000", u"5.0.0"},
    {2, u"Windows 2000 Service Pack 1", u"5.0.1"},
    {5, u"Windows 2000 Service Pack 4", u"5.0.4"},
    {6, u"Windows XP", u"5.1.0"},
    {9, u"Windows XP Service Pack 3", u"5.1.3"},
    {10, u"Windows XP 64bit Edition", u"5.2.0"},
    {12, u"Windows XP 64bit Edition Service Pack 2", u"5.2.2"},
    {13, u"Windows Server 2003", u"5.2.0"},
    {15, u"Windows Server 2003 Service Pack 2", u"5.2.2"},
    {16, u"Windows Vista", u"6.0.0"},
    {18, u"Windows Vista Service Pack 2", u"6.0.2"},
    {19, u"Windows Server 2008", u"6.0.0"},
    {21, u"Windows Server 2008 Service Pack 2", u"6.0.2"},
    {22, u"Windows 7", u"6.1.0"},
    {23, u"Windows 7 Service Pack 1", u"6.1.1"},
    {24, u"Windows Server 2008 R2", u"6.1.0"},
    {25, u"Windows Server 2008 R2 Service Pack 1", u"6.1.1"},
    {26, u"Windows 8", u"6.2.0"},
    {27, u"Windows Server 2012", u"6.2.0"},
    {28, u"Windows 8.1", u"6.3.0"},
    {29, u"Windows Server 2012 R2", u"6.3.0"},
    {30, u"Windows 10", u"10.0.0"},
    {31, u"Windows 10 Server", u"10.0.0"},
};

TEST(DeviceIdentityOSVersion, NamesAndKeysOfTheIds)
{
    for (const OsVersionRow& row : kRows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(OSVersion::toName(row.id), row.name);
        EXPECT_EQ(OSVersion::toVersionKey(row.id), row.key);
        EXPECT_EQ(OSVersion::fromName(row.name), row.id);
    }
}

TEST(DeviceIdentityOSVersion, EveryNameLeadsBackToItsId)
{
    for (std::int32_t id = 1; id <= OSVersion::kLastId; ++id)
        EXPECT_EQ(OSVersion::fromName(OSVersion::toName(id)), id);
}

TEST(DeviceIdentityOSVersion, NamesCompareWithoutCaseButOtherwiseExactly)
{
    EXPECT_EQ(OSVersion::fromName(u"windows 7"), 22);
    EXPECT_EQ(OSVersion::fromName(u"WINDOWS SERVER 2008 R2 SERVICE PACK 1"), 25);
    EXPECT_EQ(OSVersion::fromName(u"Windows 7 "), OSVersion::kUnknown);
    EXPECT_EQ(OSVersion::fromName(u"Windows"), OSVersion::kUnknown);
    EXPECT_EQ(OSVersion::fromName(u"Windows 7 Service Pack 2"), OSVersion::kUnknown);
    EXPECT_EQ(OSVersion::fromName(u""), OSVersion::kUnknown);
}

TEST(DeviceIdentityOSVersion, IdsOutsideTheTableAreUnknown)
{
    for (std::int32_t id : {-1, 32, 1000}) {
        EXPECT_EQ(OSVersion::toName(id), u"Unknown Windows version");
        EXPECT_EQ(OSVersion::toVersionKey(id), u"");
    }
}

}  // namespace
}  // namespace druvex
