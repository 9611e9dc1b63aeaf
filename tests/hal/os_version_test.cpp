#include "hal/os_version.h"

#include <gtest/gtest.h>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

// Ends of the table, and ids whose version keys are shared with another id.
TEST(DeviceIdentityOSVersion, NamesAndKeysOfTheIds)
{
    struct Row {
        std::int32_t id;
        const char16_t* name;
        const char16_t* key;
    } rows[] = {
        {1, u"Windows 2000", u"5.0.0"},
        {9, u"Windows XP Service Pack 3", u"5.1.3"},
        {10, u"Windows XP 64bit Edition", u"5.2.0"},
        {13, u"Windows Server 2003", u"5.2.0"},
        {25, u"Windows Server 2008 R2 Service Pack 1", u"6.1.1"},
        {30, u"Windows 10", u"10.0.0"},
        {31, u"Windows 10 Server", u"10.0.0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(OSVersion::toName(row.id), row.name);
        EXPECT_EQ(OSVersion::toVersionKey(row.id), row.key);
    }
    // Every name leads back to its own id: no two ids share a name.
    for (std::int32_t id = 1; id <= OSVersion::kLastId; ++id)
        EXPECT_EQ(OSVersion::fromName(OSVersion::toName(id)), id);
    for (std::int32_t id : {0, -1, 32, 1000}) {
        EXPECT_EQ(OSVersion::toName(id), u"Unknown Windows version");
        EXPECT_EQ(OSVersion::toVersionKey(id), u"");
    }
}

TEST(DeviceIdentityOSVersion, NamesCompareWithoutCaseButOtherwiseExactly)
{
    EXPECT_EQ(OSVersion::fromName(u"windows 7"), 22);
    EXPECT_EQ(OSVersion::fromName(u"WINDOWS SERVER 2008 R2 SERVICE PACK 1"), 25);
    for (const char16_t* name : {u"Windows 7 ", u"Windows", u"Windows 7 Service Pack 2", u"",
                                 u"Unknown Windows version"})
        EXPECT_EQ(OSVersion::fromName(name), OSVersion::kUnknown);
}

}  // namespace
}  // namespace druvex
