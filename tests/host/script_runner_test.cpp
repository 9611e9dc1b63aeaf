// The script runner: loading (byte-order mark, files, chunk names), calls with
// their results and error codes, the numbers of a 32-bit Lua, and a stack that
// stays balanced whatever a script raises or returns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/script_runner.h"
#include "lua.h"
#include "script_fixture.h"
#include "support/diag_capture.h"
#include "text/text_convert.h"

namespace druvex {
namespace {

class ScriptRunnerTest : public test::ScriptFixture {};

std::vector<SharedString> callMain(ScriptRunner& runner, int count, std::vector<SharedString> results = {})
{
    results.resize(static_cast<std::size_t>(count), SharedString(u"unset"));
    EXPECT_TRUE(runner.callFunction(nullptr, 0, nullptr, count, results.data())) << test::utf8(runner.errorText());
    return results;
}

TEST(ScriptRunner, NumbersReadAsTheDeviceWritesThem)
{
    ScriptRunner runner;
    ASSERT_EQ(runner.loadScriptText(u"function Main() return 5, 1/3, 2/2, 12345678.0, math.maxinteger + 1, "
                                    u"3000000000, 0xffffffff end"),
              1);
    const std::vector<SharedString> expected = {u"5", u"0.3333333", u"1.0", u"1.234568e+07", u"-2147483648",
                                                u"3e+09", u"-1"};
    EXPECT_EQ(callMain(runner, 7), expected);
}

TEST(ScriptRunner, ResultCountsAndTextsBothWays)
{
    ScriptRunner runner;
    ASSERT_EQ(runner.loadScriptText(u"function one() return 1 end function three() return 1, 2, 3 end\n"
                                    u"function join(a, b) return a .. '|' .. b, #a end\n"
                                    u"function ansi() return '\\xE9t\\xE9' end"),
              1);
    std::vector<SharedString> results(2, SharedString(u"unset"));
    ASSERT_TRUE(runner.callFunction(u"one", 0, nullptr, 2, results.data()));
    EXPECT_EQ(results, (std::vector<SharedString>{u"1", u"unset"}));
    ASSERT_TRUE(runner.callFunction(u"three", 0, nullptr, 2, results.data()));
    EXPECT_EQ(results, (std::vector<SharedString>{u"1", u"2"}));
    EXPECT_TRUE(runner.callFunction(u"three", 0, nullptr, 0, nullptr));

    const SharedString arguments[] = {u"Pr\u00fcfung", u"\u20ac"};
    ASSERT_TRUE(runner.callFunction(u"join", 2, arguments, 2, results.data()));
    EXPECT_EQ(results[0], u"Pr\u00fcfung|\u20ac");
    EXPECT_EQ(results[1], u"8");  // UTF-8 bytes
    // Bytes that are no UTF-8 are taken from the device's ANSI code page.
    ASSERT_TRUE(runner.callFunction(u"ansi", 0, nullptr, 1, results.data()));
    EXPECT_EQ(results[0], u"\u00e9t\u00e9");
}

TEST(ScriptRunner, AByteOrderMarkIsDropped)
{
    for (const char16_t* script : {u"function Main() return 'x' end", u"\ufefffunction Main() return 'x' end"}) {
        ScriptRunner runner;
        ASSERT_EQ(runner.loadScriptText(script), 1) << test::utf8(runner.errorText());
        EXPECT_EQ(callMain(runner, 1)[0], u"x");
    }
}

TEST(ScriptRunner, ErrorTexts)
{
    ScriptRunner runner;
    EXPECT_FALSE(runner.callFunction(nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(runner.errorCode(), kScriptErrorNoScript);
    EXPECT_EQ(runner.errorText(), u"No script defined");

    ASSERT_EQ(runner.loadScriptText(u"function check() return 1 end"), 1);
    EXPECT_FALSE(runner.callFunction(nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(runner.errorCode(), kScriptErrorEntryPointMissing);
    EXPECT_EQ(runner.errorText(), u"Main entry point missing.");
    EXPECT_FALSE(runner.callFunction(u"exec", 0, nullptr, 0, nullptr));
    EXPECT_EQ(runner.errorText(), u"exec entry point missing.");

    // The chunk name is the source: the message names its first line.
    EXPECT_EQ(runner.loadScriptText(u"x = = 1"), 0);
    EXPECT_EQ(runner.status(), 0);
    EXPECT_EQ(runner.errorCode(), kScriptErrorLua);
    EXPECT_EQ(runner.errorText(), u"[string \"x = = 1\"]:1: unexpected symbol near '='");
    EXPECT_FALSE(runner.callFunction(u"check", 0, nullptr, 0, nullptr));
    EXPECT_EQ(runner.errorText(), u"No script defined");

    // Precompiled chunks are refused: Lua does not verify them.
    EXPECT_EQ(runner.loadScriptText(u"\x1bLua"), 0);
    EXPECT_NE(runner.errorText().view().find(u"attempt to load a binary chunk"), std::u16string_view::npos);
}

TEST_F(ScriptRunnerTest, ScriptFiles)
{
    const std::string source = "function check() return 'ok' end";
    std::string utf16 = "\xFF\xFE";
    for (const char c : source)
        utf16 += std::string{c, '\0'};
    device().writeFile("Temp/check.lua", utf16);
    device().writeFile("Temp/one.lua", "x");
    device().writeFile("Temp/empty.lua", "");

    ScriptRunner runner;
    ASSERT_EQ(runner.loadScriptFile(host(), u"\\Temp\\check.lua"), 1) << test::utf8(runner.errorText());
    SharedString result;
    ASSERT_TRUE(runner.callFunction(u"check", 0, nullptr, 1, &result));
    EXPECT_EQ(result, u"ok");
    // One byte is no character: an empty chunk.
    EXPECT_EQ(runner.loadScriptFile(host(), u"\\Temp\\one.lua"), 1);
    for (const char16_t* path : {u"\\Temp\\empty.lua", u"\\Temp\\missing.lua"}) {
        EXPECT_EQ(runner.loadScriptFile(host(), path), 0);
        EXPECT_EQ(runner.errorCode(), kScriptErrorFileNotFound);
        EXPECT_EQ(runner.errorText(), u"File " + std::u16string(path) + u" not found.");
    }
}

TEST(ScriptRunner, FailuresLeaveTheStackAsItWas)
{
    ScriptRunner runner;
    ASSERT_EQ(runner.loadScriptText(u"function fails() error('boom') end\n"
                                    u"function table() error({}) end\n"
                                    u"function nothing() error() end\n"
                                    u"local bad = setmetatable({}, {__tostring = function() error('worse') end})\n"
                                    u"function badObject() error(bad) end\n"
                                    u"function badResult() return bad end\n"
                                    u"function values() return true, nil, {}, false end"),
              1);
    lua_State* const state = runner.luaState();
    const int top = lua_gettop(state);
    struct Case {
        const char16_t* name;
        std::uint32_t code;
        std::u16string_view text;  // the error text ends with it
    };
    const Case cases[] = {
        {u"fails", kScriptErrorLua, u":1: boom"},
        {u"table", kScriptErrorLua, u""},
        {u"nothing", kScriptErrorLua, u"nil"},
        {u"badObject", kScriptErrorLua, u":4: worse"},
        {u"missing", kScriptErrorEntryPointMissing, u"missing entry point missing."},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < 1000; ++i) {
            SharedString result;
            ASSERT_FALSE(runner.callFunction(c.name, 0, nullptr, 1, &result)) << test::utf8(c.name);
            ASSERT_EQ(runner.errorCode(), c.code) << test::utf8(c.name);
            ASSERT_TRUE(runner.errorText().view().ends_with(c.text)) << test::utf8(runner.errorText());
        }
        EXPECT_EQ(lua_gettop(state), top) << test::utf8(c.name);
    }
    EXPECT_TRUE(runner.errorCode() == kScriptErrorEntryPointMissing);

    for (int i = 0; i < 1000; ++i) {
        SharedString results[4];
        ASSERT_TRUE(runner.callFunction(u"values", 0, nullptr, 4, results));
        ASSERT_EQ(results[0], u"true");
        ASSERT_EQ(results[1], u"nil");
        ASSERT_TRUE(results[2].view().starts_with(u"table: 0x")) << test::utf8(results[2]);
        ASSERT_EQ(results[3], u"false");
        // A value whose text cannot be made is not fatal either.
        ASSERT_TRUE(runner.callFunction(u"badResult", 0, nullptr, 1, results));
    }
    EXPECT_EQ(lua_gettop(state), top);
}

TEST(ScriptRunner, ErrorsOutsideTheScriptFunctionAreCaughtToo)
{
    ScriptRunner runner;
    ASSERT_EQ(runner.loadScriptText(u"setmetatable(_G, {__index = function(t, k) error('no ' .. k, 0) end})"), 1);
    EXPECT_FALSE(runner.callFunction(u"absent", 0, nullptr, 0, nullptr));
    EXPECT_EQ(runner.errorCode(), kScriptErrorLua);
    EXPECT_EQ(runner.errorText(), u"no absent");
    EXPECT_EQ(lua_gettop(runner.luaState()), 0);
}

TEST_F(ScriptRunnerTest, InstallerRunnerTakesTheChunkValue)
{
    struct Case {
        const char16_t* script;
        std::int32_t value;
    };
    const Case cases[] = {
        {u"return 7", 7}, {u"return 1, 2", 2}, {u"x = 1", -1}, {u"return '7'", -1}, {u"return 2.5", -1},
    };
    for (const Case& c : cases) {
        InstallerScriptRunner& runner = load(c.script);
        EXPECT_EQ(runner.chunkValue(), c.value) << test::utf8(c.script);
        EXPECT_EQ(lua_gettop(runner.luaState()), 0);
    }
    InstallerScriptRunner failing(&services_);
    EXPECT_EQ(failing.loadScriptText(u"return +"), 0);
    EXPECT_EQ(failing.chunkValue(), -1);
}

TEST_F(ScriptRunnerTest, InstallerRunnerRegistersItsNames)
{
    InstallerScriptRunner& runner = load(u"");
    lua_State* const state = runner.luaState();
    ASSERT_EQ(lua_getglobal(state, "InstallerController"), LUA_TLIGHTUSERDATA);
    EXPECT_EQ(lua_touserdata(state, -1), static_cast<ScriptHostServices*>(&services_));
    lua_pop(state, 1);
    EXPECT_EQ(run1(u"return type(Enumerators) .. type(Hal) .. type(HalIn) .. type(HalInAdmin) .. type(HalOut) .. "
                   u"type(HalOutBase) .. type(HalOutAdmin)"),
              u"tablefunctionuserdatauserdatauserdatauserdatauserdata");
}

TEST_F(ScriptRunnerTest, AnElevatedRunnerTakesTheAdministratorHostIn)
{
    services_.inAdmin = std::make_shared<HalAccessWinCE>();
    const char16_t* script = u"function Main() return HalIn == HalInAdmin, HalIn == HalOut, HalOut == HalOutBase, "
                             u"HalOutBase == HalOutAdmin end";
    for (const bool elevated : {false, true}) {
        InstallerScriptRunner runner(&services_);
        runner.setElevated(elevated);
        ASSERT_EQ(runner.loadScriptText(script), 1);
        const std::vector<SharedString> expected = {elevated ? u"true" : u"false", elevated ? u"false" : u"true",
                                                    u"true", u"true"};
        EXPECT_EQ(callMain(runner, 4), expected);
    }
}

}  // namespace
}  // namespace druvex
