// The standard libraries of a script live on the device: file names are
// device paths inside the device folder, and what the device's C runtime
// lacks fails as it does there.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "script_fixture.h"

namespace druvex {
namespace {

using Texts = std::vector<SharedString>;

class ScriptRunnerDeviceLibraries : public test::ScriptFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        DeviceStore rom;
        rom.path = u"\\ROM";
        rom.readOnly = true;
        config.stores.push_back(rom);
    }
};

TEST_F(ScriptRunnerDeviceLibraries, FilesOpenInsideTheDevice)
{
    const char16_t* readPasswd = uR"(
        local file, message, code = io.open("/etc/passwd")
        if not file then return message, code end
        local text = file:read("a")
        file:close()
        return text, "open")";
    EXPECT_EQ(run(readPasswd, 2), (Texts{u"/etc/passwd: No such file or directory", u"2"}));
    device().writeFile("etc/passwd", "the device's own");
    EXPECT_EQ(run(readPasswd, 2), (Texts{u"the device's own", u"open"}));

    for (const char16_t* outside : {u"../../../../../etc/hostname", u"\\..\\..\\..\\..\\etc\\hostname"}) {
        EXPECT_EQ(run(u"return io.open([[" + std::u16string(outside) + u"]]) == nil", 1)[0], u"true");
    }
    EXPECT_EQ(run1(uR"(return select(2, io.open("/Temp/bad|name", "w")))"), u"/Temp/bad|name: Invalid argument");
}

TEST_F(ScriptRunnerDeviceLibraries, FileFunctionsTakeDevicePaths)
{
    device().writeFile("Temp/in.txt", "one\ntwo\n");
    EXPECT_EQ(run(uR"(
        local lines = {}
        for line in io.lines("/TEMP/IN.TXT") do lines[#lines + 1] = line end
        local out = io.open("\\Temp\\out.txt", "w")
        out:write("written")
        out:close()
        io.output("/Temp/default.txt")
        io.write("default")
        io.close()
        io.output(io.stdout)
        io.input("/Temp/in.txt")
        local first = io.read("l")
        io.input(io.stdin)
        local renamed = os.rename("/Temp/out.txt", "/Temp/moved.txt")
        local removed = os.remove("/Temp/in.txt")
        local _, missing = os.remove("/Temp/in.txt")
        local _, unopened = pcall(io.lines, "/Temp/none.txt")
        return table.concat(lines, ","), first, renamed, removed, missing, unopened)",
                  6),
              (Texts{u"one,two", u"one", u"true", u"true", u"/Temp/in.txt: No such file or directory",
                     u"cannot open file '/Temp/none.txt' (No such file or directory)"}));
    EXPECT_EQ(device().readFile("Temp/moved.txt"), "written");
    EXPECT_EQ(device().readFile("Temp/default.txt"), "default");
    EXPECT_FALSE(device().exists("Temp/in.txt"));
}

TEST_F(ScriptRunnerDeviceLibraries, ReadOnlyStoresRefuseChanges)
{
    device().writeFile("ROM/kept.txt", "kept");
    EXPECT_EQ(run(uR"(
        local readable = io.open("/ROM/kept.txt"):read("a")
        return readable, select(2, io.open("/ROM/new.txt", "w")), select(2, os.remove("/ROM/kept.txt")),
               select(2, pcall(io.output, "/ROM/out.txt")))",
                  4),
              (Texts{u"kept", u"/ROM/new.txt: Permission denied", u"/ROM/kept.txt: Permission denied",
                     u"cannot open file '/ROM/out.txt' (Permission denied)"}));
    EXPECT_FALSE(device().exists("ROM/new.txt"));
    EXPECT_EQ(device().readFile("ROM/kept.txt"), "kept");
}

TEST_F(ScriptRunnerDeviceLibraries, TemporaryFilesStayInTheDeviceTempFolder)
{
    const Texts results = run(uR"(
        local name = os.tmpname()
        local file = io.tmpfile()
        file:write("scratch")
        file:seek("set")
        return name, file:read("a"))",
                              2);
    EXPECT_TRUE(results[0].view().starts_with(u"\\Temp\\lua_")) << test::utf8(results[0]);
    EXPECT_EQ(results[1], u"scratch");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(device().hostPath("Temp"))) {
        EXPECT_EQ(u"\\Temp\\" + entry.path().filename().u16string(), results[0].view());
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(ScriptRunnerDeviceLibraries, WhatTheDeviceLacksFails)
{
    const std::filesystem::path marker = device().directory() / "marker";
    const std::string command = "touch '" + marker.string() + "'";
    EXPECT_EQ(run(u"local ok, what, code = os.execute([[" + std::u16string(fromUtf8(command).view()) + uR"(]])
        local _, popen = pcall(io.popen, "ls")
        return ok, what, code, os.execute(), popen, os.getenv("PATH"))",
                  6),
              (Texts{u"nil", u"Function not implemented", u"38", u"false", u"'popen' not supported", u"nil"}));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(ScriptRunnerDeviceLibraries, ModulesLoadFromTheDeviceAndNeverAsLibraries)
{
    ::setenv("LUA_PATH", "/etc/?", 1);
    ::setenv("LUA_CPATH", "/usr/lib/?.so", 1);
    device().writeFile("Lua/helper.lua", "#!ignored first line\nreturn { answer = 42 }");
    const Texts results = run(uR"(
        local paths = "[" .. package.path .. "][" .. package.cpath .. "]"
        package.path = "\\Lua\\?.lua"
        local helper = require("helper")
        local _, missing = pcall(require, "absent")
        package.cpath = "/usr/lib/x86_64-linux-gnu/?.so;/usr/lib/?.so"
        local _, native = pcall(require, "lpeg")
        local lib, libMessage, libWhere = package.loadlib("/usr/lib/x86_64-linux-gnu/libc.so.6", "puts")
        return paths, helper.answer, missing, native, tostring(lib) .. "|" .. libMessage .. "|" .. libWhere,
               package.searchpath("helper", "/Lua/?.lua;/Lib/?.lua"))",
                              6);
    ::unsetenv("LUA_PATH");
    ::unsetenv("LUA_CPATH");
    EXPECT_EQ(results[0], u"[][]");
    EXPECT_EQ(results[1], u"42");
    EXPECT_TRUE(results[2].view().ends_with(u"no file '\\Lua\\absent.lua'\n"
                                            u"\tdynamic libraries not enabled; check your Lua installation\n"
                                            u"\tdynamic libraries not enabled; check your Lua installation"))
        << test::utf8(results[2]);
    EXPECT_EQ(results[3].view().find(u"/usr/lib"), std::u16string_view::npos) << test::utf8(results[3]);
    EXPECT_EQ(results[4], u"nil|dynamic libraries not enabled; check your Lua installation|absent");
    EXPECT_EQ(results[5], u"/Lua/helper.lua");
}

TEST_F(ScriptRunnerDeviceLibraries, ChunksFromFilesAreTextOnly)
{
    device().writeFile("Lua/plain.lua", "\xEF\xBB\xBFreturn 'plain', ...");
    EXPECT_EQ(run(uR"(
        local dumped = string.dump(function() return 1 end)
        local out = io.open("/Lua/binary.luac", "wb")
        out:write(dumped)
        out:close()
        local _, fromFile = loadfile("/Lua/binary.luac")
        local _, fromString = load(dumped)
        local _, fromDo = pcall(dofile, "/Lua/binary.luac")
        local _, missing = loadfile("/Lua/none.lua")
        return dofile("/Lua/plain.lua"), fromFile, fromString, fromDo, missing, loadfile("/Lua/plain.lua")("arg"))",
                  6),
              (Texts{u"plain", u"attempt to load a binary chunk (mode is 't')",
                     u"attempt to load a binary chunk (mode is 't')", u"attempt to load a binary chunk (mode is 't')",
                     u"cannot open /Lua/none.lua: No such file or directory", u"plain"}));
}

}  // namespace
}  // namespace druvex
