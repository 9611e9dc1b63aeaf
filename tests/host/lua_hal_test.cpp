// The Lua class Hal: metamethods and both call styles, the constructor's
// refusal of foreign pointers, and its methods as they reach the device host.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/lua_hal.h"
#include "host/lua_hal_methods.h"
#include "lua.h"
#include "platform/input_limits.h"
#include "script_fixture.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

using Texts = std::vector<SharedString>;

class LuaHal : public test::ScriptFixture {};

SharedString pointerText(const void* pointer)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", pointer);
    return fromUtf8(buffer);
}

TEST_F(LuaHal, Metamethods)
{
    const Texts results = run(uR"(
        local _, message = pcall(function() HalOut.copyFile = 1 end)
        HalOut.foo = 1
        return tostring(HalOut), HalOut == HalOutAdmin, HalOut == io.stdout, message, HalOut.foo, HalOut.__gc)",
                              6);
    EXPECT_EQ(results[0], u"Hal (" + pointerText(host_.get()) + u")");
    EXPECT_EQ(results[1], u"true");
    EXPECT_EQ(results[2], u"false");
    EXPECT_TRUE(results[3].view().ends_with(u"Trying to set the method [copyFile] of class [Hal]")) << test::utf8(results[3]);
    EXPECT_EQ(results[4], u"nil");
    EXPECT_EQ(results[5], u"nil");
}

TEST_F(LuaHal, BothCallStyles)
{
    device().writeFile("Temp/a.txt", "a");
    device().writeFile("Temp/b.txt", "b");
    EXPECT_EQ(run(uR"(return HalOut:deleteFile("/Temp/a.txt"), HalOut.deleteFile("/Temp/b.txt"),
                         HalOut:exists("/Temp"))",
                  4),
              (Texts{u"true", u"true", u"true", u"true"}));
    EXPECT_FALSE(device().exists("Temp/a.txt"));
    EXPECT_FALSE(device().exists("Temp/b.txt"));
}

TEST_F(LuaHal, TheConstructorTakesOnlyHostsOfThisState)
{
    InstallerScriptRunner& runner = load(uR"(function Main()
        return tostring(Hal(hostPointer)), Hal(hostPointer) == HalOut, Hal(InstallerController),
               Hal(HalOut:openFile("/Temp/x.txt", false)), Hal(), Hal(HalOut) end)");
    lua_pushlightuserdata(runner.luaState(), host_.get());
    lua_setglobal(runner.luaState(), "hostPointer");
    Texts results(6);
    ASSERT_TRUE(runner.callFunction(nullptr, 0, nullptr, 6, results.data())) << test::utf8(runner.errorText());
    EXPECT_EQ(results, (Texts{u"Hal (" + pointerText(host_.get()) + u")", u"true", u"nil", u"nil", u"nil", u"nil"}));
}

TEST_F(LuaHal, AnObjectWithoutAHostAnswersNothing)
{
    test::DiagCapture diag;
    // A script can run the collector's metamethod itself; the object is then empty.
    const Texts results = run(uR"(
        getmetatable(HalOut).__gc(HalOut)
        getmetatable(HalOut).__gc(HalOut)
        getmetatable(HalOut).__gc(io.stdout)
        local _, message = pcall(function() HalOut.copyFile = 1 end)
        return select('#', HalOut:exists("/Temp")), tostring(HalOut), io.type(io.stdout), message)",
                              4);
    EXPECT_EQ(results[0], u"0");
    EXPECT_EQ(results[1], u"Empty object");
    EXPECT_EQ(results[2], u"file");
    EXPECT_TRUE(results[3].view().ends_with(u":6: Internal error, no object given!")) << test::utf8(results[3]);
    EXPECT_EQ(diag.dbgChkCount(), 1);
    EXPECT_TRUE(diag.contains(u"HalAccessLuaWrapper"));

    services_.out = nullptr;
    diag.clear();
    EXPECT_EQ(run(uR"(return select('#', HalOut:deleteFile("/Temp")), tostring(HalOutBase), HalIn == HalOut)", 3),
              (Texts{u"0", u"Empty object", u"false"}));
    EXPECT_EQ(diag.dbgChkCount(), 1);
}

TEST_F(LuaHal, AHalObjectWithoutAHostReportsTheWrappersOwnSite)
{
    test::DiagCapture diag;
    services_.out = nullptr;
    EXPECT_EQ(run(uR"(return select('#', HalOut:exists("/Temp")))", 1), (Texts{u"0"}));
    // The source name and line that readers of the log know this check by,
    // wherever it stands in our source.
    EXPECT_EQ(diag.lines(), (std::vector<std::u16string>{u"DBGCHK Hal object without a host HalAccessLuaWrapper:69"}));
}

TEST_F(LuaHal, TextFiles)
{
    device().writeFile("Temp/lines.txt", "ab\r\ncd");
    EXPECT_EQ(run(uR"(
        local h = HalOut:openFile("/Temp/lines.txt", true)
        local a, b, c = HalOut:readTextFile(h), HalOut:readTextFile(h), HalOut:readTextFile(h)
        HalOut:closeFile(h)
        local out = HalOut:openFile("/Temp/out.txt", false)
        HalOut:writeTextFile(out, "\u{E9}t\u{E9}\n")
        HalOut:closeFile(out)
        return a, b, c)",
                  3),
              (Texts{u"ab\r", u"cd", u""}));
    EXPECT_EQ(device().readFile("Temp/out.txt"), "\xE9t\xE9\n");

    // Too few arguments give no results; foreign handles close nothing.
    EXPECT_EQ(run1(uR"(
        local function count(...) return select('#', ...) end
        return count(HalOut:openFile("/Temp/x.txt")) + count(HalOut:closeFile()) + count(HalOut:writeTextFile(1)) +
               count(HalOut:readTextFile()) + count(HalOut:closeFile(InstallerController)) +
               count(HalOut:closeFile(io.stdout)) + count(HalOut:readTextFile(InstallerController)))"),
              u"1");
    EXPECT_FALSE(device().exists("Temp/x.txt"));
}

// The lines are read in blocks, yet each call leaves the handle just past its
// line feed, as a byte at a time would: a line of any length up to the limit
// comes whole, the next read starts at the next line, and one byte more than
// the limit is a script error rather than a line held whole in memory.
TEST_F(LuaHal, LongTextLines)
{
    const std::string atLimit(kMaxScriptTextLine, 'x');
    device().writeFile("Temp/long.txt", "a\n" + atLimit + "\nshort\r\n\nlast");
    std::string line;
    const FileHandle file = host().openFileForRead(u"\\Temp\\long.txt");
    ASSERT_NE(file, kInvalidFileHandle);
    std::uint64_t position = 0;
    for (const std::string& expected : {std::string("a"), atLimit, std::string("short\r"), std::string()}) {
        line.clear();
        ASSERT_TRUE(readTextLine(host(), file, line));
        EXPECT_EQ(line, expected);
        const std::uint64_t before = position;
        ASSERT_TRUE(host().seekFile(file, 1, 0, &position));
        EXPECT_EQ(position, before + expected.size() + 1);
    }
    line.clear();
    EXPECT_TRUE(readTextLine(host(), file, line));
    EXPECT_EQ(line, "last");
    EXPECT_TRUE(host().closeFile(file));

    EXPECT_EQ(run(uR"(
        local h = HalOut:openFile("/Temp/long.txt", true)
        local a, b, c = HalOut:readTextFile(h), HalOut:readTextFile(h), HalOut:readTextFile(h)
        HalOut:closeFile(h)
        return a, #b, c)",
                  3),
              (Texts{u"a", SharedString().format(u"%I64u", kMaxScriptTextLine), u"short\r"}));

    device().writeFile("Temp/longer.txt", "first\n" + atLimit + "y\nnext\n");
    const SharedString error = failure(uR"(
        local h = HalOut:openFile("/Temp/longer.txt", true)
        HalOut:readTextFile(h)
        HalOut:readTextFile(h))");
    EXPECT_TRUE(error.view().ends_with(u"readTextFile: a line of the file is longer than 4194304 bytes"))
        << test::utf8(error);
}

TEST_F(LuaHal, RegistryValuesMeetTheHost)
{
    const Texts written = run(uR"(
        local key, created = HalOut:regCreateKey("HKEY_LOCAL_MACHINE", "Software/Druvex/One", "DEFAULT")
        local dword = HalOut:writeRegistryDwordValue("HKEY_LOCAL_MACHINE", "Software/Druvex/One", "DEFAULT", "count", 42)
        local name, kind, enumerated = HalOut:regEnumValues(key, 0)
        local _, _, past = HalOut:regEnumValues(key, 1)
        local text = HalOut:writeRegistryStringValue("HKEY_LOCAL_MACHINE", "Software/Druvex", "DEFAULT", "name", "Pr\u{FC}fung")
        return created, dword, text, name, kind, enumerated, past, HalOut:regCloseKey(key))",
                              8);
    EXPECT_EQ(written, (Texts{u"true", u"true", u"true", u"count", u"REG_DWORD", u"true", u"false", u"true"}));
    std::uint32_t count = 0;
    ASSERT_TRUE(host().readRegistryDwordValue(kRegistryLocalMachine, u"Software\\Druvex\\One", 0, u"count", count));
    EXPECT_EQ(count, 42u);
    SharedString name;
    ASSERT_TRUE(host().readRegistryStringValue(kRegistryLocalMachine, u"Software\\Druvex", 0, u"name", name));
    EXPECT_EQ(name, u"Pr\u00fcfung");

    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryCurrentUser, u"Software\\Host", 0, u"v", u"\u20ac", false));
    EXPECT_EQ(run(uR"(
        local text, read = HalOut:readRegistryStringValue("HKEY_CURRENT_USER", "Software/Host", "DEFAULT", "v")
        local key, opened = HalOut:regOpenKey("HKEY_CURRENT_USER", "Software/Host", "DEFAULT", "READ_ONLY")
        HalOut:regCloseKey(key)
        local badRoot, refused = HalOut:regCreateKey("HKLM", "Software/X", "DEFAULT")
        local _, badMode = HalOut:regOpenKey("HKEY_CURRENT_USER", "Software/Host", "DEFAULT", "SOMETIMES")
        return text, read, opened, badRoot, refused, badMode)",
                  6),
              (Texts{u"\u20ac", u"true", u"true", u"nil", u"false", u"false"}));
}

class ProcessStubHost final : public HalAccessWinCE {
public:
    bool executeProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t flags,
                        std::uint32_t& exitCode) override
    {
        calls.push_back(application + u"|" + commandLine + u"|" + fromUtf8(std::to_string(flags)));
        if (application.view().ends_with(u"stub.exe"))
            exitCode = 7;
        return application.view().ends_with(u"stub.exe");
    }
    std::vector<SharedString> calls;
};

TEST_F(LuaHal, ExecuteProcessWritesOneLogLine)
{
    const auto stub = std::make_shared<ProcessStubHost>();
    services_.out = stub;
    test::DiagCapture diag;
    EXPECT_EQ(run(uR"(
        local code, ok = HalOut:executeProcess("\\Windows\\stub.exe", "a b")
        local _, _ = HalOut.executeProcess("\\Windows\\stub.exe", "", 0x20000)
        local failedCode, failed = HalOut:executeProcess("\\Windows\\none.exe", "x")
        return code, ok, failedCode, failed)",
                  4),
              (Texts{u"7", u"true", u"0", u"false"}));
    EXPECT_EQ(stub->calls, (Texts{u"\\Windows\\stub.exe|a b|0", u"\\Windows\\stub.exe||131072",
                                  u"\\Windows\\none.exe|x|0"}));
    EXPECT_EQ(diag.lines(), (std::vector<std::u16string>{
                                u"Execute process succeeded: \\Windows\\stub.exe a b @@ exit_code=7",
                                u"Execute process succeeded: \\Windows\\stub.exe  @@ exit_code=7",
                                u"Execute process failed: \\Windows\\none.exe x @@ exit_code=0"}));
}

class LuaHalDevice : public LuaHal {
protected:
    void configure(DeviceConfig& config) const override
    {
        DeviceStore card;
        card.path = u"\\Storage Card";
        card.total = 8ull << 30;
        card.free = 1234;
        card.mounted = true;
        config.stores.push_back(card);
        config.forceDeviceType = 16;
    }
};

TEST_F(LuaHalDevice, MachineAnswers)
{
    device().makeFolder("Storage Card");
    device().writeFile("Temp/five.txt", "12345");
    EXPECT_EQ(run(uR"(
        local total, free, stored = HalOut:getStoreInformation("/Storage Card")
        local size, sized = HalOut:getFileSize("/Temp/five.txt")
        local none, missing = HalOut:getFileSize("/Temp/none.txt")
        local windows, found = HalOut:getSpecialFolderPath("CSIDL_WINDOWS")
        local device, connection = HalOut:getDeviceType(true)
        return total, free, stored, size, sized, none, missing, windows, found, device, connection,
               select('#', HalOut:getSpecialFolderPath("NOPE")), select('#', HalOut:getSpecialFolderPath(36)))",
                  13),
              (Texts{u"2147483647", u"1234", u"true", u"5", u"true", u"0", u"false", u"\\Windows\\", u"true",
                     u"TS_QM40", u"DEVICE_CONNECTED", u"0", u"0"}));
}

TEST_F(LuaHal, FolderTrees)
{
    EXPECT_EQ(run(uR"(return HalOut:createDirectoryRec("/A/B/C"), HalOut:createDirectory("/A/B/D"))", 2),
              (Texts{u"true", u"true"}));
    device().writeFile("A/B/f.txt", "f");
    device().writeFile("A/B/C/g.txt", "g");
    EXPECT_EQ(run(uR"(return HalOut:deleteTree("/a"), HalOut:exists("/A"), HalOut:deleteTree("/A"))", 3),
              (Texts{u"true", u"false", u"true"}));
    EXPECT_FALSE(device().exists("A"));
}

}  // namespace
}  // namespace druvex
