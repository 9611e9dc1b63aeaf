// A device host for expansion tests: special folders, the system-drive answer
// and the device type come from the test; every other operation is the
// device host's. Folders can be made to fail one by one, and lookups counted.
#pragma once

#include <map>
#include <set>

#include "host/hal_access_wince.h"

namespace druvex::test {

class TestFolderHost final : public HalAccessWinCE {
public:
    TestFolderHost()
    {
        folders = {
            {0, u"\\Windows\\Desktop\\"},   {2, u"\\Windows\\Start Menu\\Programs\\"},
            {5, u"\\My Documents\\"},       {7, u"\\Windows\\StartUp\\"},
            {11, u"\\Windows\\Start Menu\\"}, {16, u"\\Windows\\Desktop\\"},
            {26, u"\\Application Data\\"},  {36, u"\\Windows\\"},
            {38, u"\\Program Files\\"},
        };
    }

    bool getSpecialFolderPath(int csidl, SharedString& path) override
    {
        ++folderLookups;
        const auto found = folders.find(csidl);
        if (failing.contains(csidl) || found == folders.end())
            return false;
        path = found->second;
        return true;
    }
    bool reservedSlot40() override { return systemDriveIsRoot; }
    ConnectionState getDeviceType(DeviceType& type, bool) override
    {
        type = deviceType;
        return ConnectionState::DEVICE_CONNECTED;
    }

    std::map<int, SharedString> folders;
    std::set<int> failing;
    bool systemDriveIsRoot = true;
    DeviceType deviceType = DeviceType::TS_QM40;
    int folderLookups = 0;
};

}  // namespace druvex::test
