#include "hal/os_version.h"

#include <array>

#include "text/char_class.h"

namespace druvex {

namespace {

struct OSVersionEntry {
    const char16_t* name;
    const char16_t* versionKey;
};

// Indexed by id. Servers share the keys of their desktop twins.
constexpr std::array<OSVersionEntry, OSVersion::kLastId + 1> kVersions = {{
    {u"Unknown Windows version", u""},
    {u"Windows 2000", u"5.0.0"},
    {u"Windows 2000 Service Pack 1", u"5.0.1"},
    {u"Windows 2000 Service Pack 2", u"5.0.2"},
    {u"Windows 2000 Service Pack 3", u"5.0.3"},
    {u"Windows 2000 Service Pack 4", u"5.0.4"},
    {u"Windows XP", u"5.1.0"},
    {u"Windows XP Service Pack 1", u"5.1.1"},
    {u"Windows XP Service Pack 2", u"5.1.2"},
    {u"Windows XP Service Pack 3", u"5.1.3"},
    {u"Windows XP 64bit Edition", u"5.2.0"},
    {u"Windows XP 64bit Edition Service Pack 1", u"5.2.1"},
    {u"Windows XP 64bit Edition Service Pack 2", u"5.2.2"},
    {u"Windows Server 2003", u"5.2.0"},
    {u"Windows Server 2003 Service Pack 1", u"5.2.1"},
    {u"Windows Server 2003 Service Pack 2", u"5.2.2"},
    {u"Windows Vista", u"6.0.0"},
    {u"Windows Vista Service Pack 1", u"6.0.1"},
    {u"Windows Vista Service Pack 2", u"6.0.2"},
    {u"Windows Server 2008", u"6.0.0"},
    {u"Windows Server 2008 Service Pack 1", u"6.0.1"},
    {u"Windows Server 2008 Service Pack 2", u"6.0.2"},
    {u"Windows 7", u"6.1.0"},
    {u"Windows 7 Service Pack 1", u"6.1.1"},
    {u"Windows Server 2008 R2", u"6.1.0"},
    {u"Windows Server 2008 R2 Service Pack 1", u"6.1.1"},
    {u"Windows 8", u"6.2.0"},
    {u"Windows Server 2012", u"6.2.0"},
    {u"Windows 8.1", u"6.3.0"},
    {u"Windows Server 2012 R2", u"6.3.0"},
    {u"Windows 10", u"10.0.0"},
    {u"Windows 10 Server", u"10.0.0"},
}};

bool isKnownId(std::int32_t id)
{
    return id > OSVersion::kUnknown && id <= OSVersion::kLastId;
}

}  // namespace

std::int32_t OSVersion::fromName(std::u16string_view name)
{
    for (std::int32_t id = kUnknown + 1; id <= kLastId; ++id) {
        if (equalsNoCase(name, kVersions[static_cast<std::size_t>(id)].name))
            return id;
    }
    return kUnknown;
}

SharedString OSVersion::toName(std::int32_t id)
{
    return SharedString(kVersions[static_cast<std::size_t>(isKnownId(id) ? id : kUnknown)].name);
}

SharedString OSVersion::toVersionKey(std::int32_t id)
{
    if (!isKnownId(id))
        return SharedString();
    return SharedString(kVersions[static_cast<std::size_t>(id)].versionKey);
}

}  // namespace druvex
