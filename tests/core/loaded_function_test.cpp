#include "core/loaded_function.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/user_hooks.h"
#include "platform/builtin_modules.h"
#include "platform/win_error.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class RecordingSink final : public UserMessageSink {
public:
    void showMessage(const SharedString& text) override { messages.emplace_back(text.view()); }
    std::vector<std::u16string> messages;
};

// Marks what went through the translator.
class BracketingTranslator final : public TextTranslator {
public:
    SharedString translateNarrow(const char* text) override
    {
        return SharedString(u"[") + TextTranslator::translateNarrow(text) + u"]";
    }
};

int answer()
{
    return 42;
}

// A module of the test's own, removed again afterwards.
class LoadedFunctionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerBuiltinModule(u"TestLib.dll", {{u"Answer", exportAddress(&answer)}});
        setUserMessageSink(&sink_);
    }
    void TearDown() override
    {
        setUserMessageSink(nullptr);
        setTextTranslator(nullptr);
        unregisterBuiltinModule(u"TestLib.dll");
        unregisterBuiltinModule(u"flaky.dll");
    }

    int loadLines() const
    {
        int count = 0;
        for (const auto& line : capture_.lines())
            count += line.starts_with(u"load ") ? 1 : 0;
        return count;
    }

    RecordingSink sink_;
    test::DiagCapture capture_;
};

TEST_F(LoadedFunctionTest, FailedLoadShowsOneMessageChosenByTheError)
{
    registerBuiltinModule(u"flaky.dll", {}, [] { return kErrorNotEnoughMemory; });
    struct Case {
        const char16_t* module;
        bool quiet;
        std::uint32_t error;
        std::vector<std::u16string> messages;
    };
    const Case cases[] = {
        {u"nosuch.dll", false, kErrorModNotFound,
         {u"Could not load module nosuch.dll.\r\n\r\nApplication reinstall may be needed. If the problem persists, "
          u"collect application log files and contact support."}},
        {u"flaky.dll", false, kErrorNotEnoughMemory,
         {u"Could not load module flaky.dll.\r\n\r\nSave your work and quit application. Restarting device may be "
          u"needed as well. If the problem persists, collect application log files and contact support."}},
        {u"nosuch.dll", true, kErrorModNotFound, {}},
    };
    for (const Case& c : cases) {
        sink_.messages.clear();
        capture_.clear();
        EXPECT_EQ(loadLibrary(c.module, c.quiet), 0u);
        EXPECT_EQ(getLastError(), c.error);
        EXPECT_EQ(sink_.messages, c.messages);
        const auto lines = capture_.lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], u"Could not load library " + std::u16string(c.module) + u" err code = " +
                                (c.error == kErrorModNotFound ? u"126" : u"8"));
        EXPECT_TRUE(lines[1].starts_with(u"Total Memory: ")) << toUtf8(SharedString(std::u16string_view(lines[1]))).c_str();
        EXPECT_NE(lines[1].find(u" bytes, Free Memory: "), std::u16string::npos);
        EXPECT_NE(lines[1].find(u" bytes, Total VM: "), std::u16string::npos);
        EXPECT_TRUE(lines[1].ends_with(u" bytes")) << toUtf8(SharedString(std::u16string_view(lines[1]))).c_str();
    }
}

TEST_F(LoadedFunctionTest, MessageTranslatesItsTextsButNotTheModuleName)
{
    BracketingTranslator translator;
    setTextTranslator(&translator);
    loadLibrary(u"nosuch.dll", false);
    EXPECT_EQ(sink_.messages,
              std::vector<std::u16string>{u"[Could not load module ]nosuch.dll.\r\n\r\n[Application reinstall may be "
                                          u"needed. ][If the problem persists, collect application log files and "
                                          u"contact support.]"});
}

TEST_F(LoadedFunctionTest, SecondLoadSharesTheHandleUntilTheLastUnload)
{
    ModuleHandle first = loadLibrary(u"TestLib.dll", false);
    ModuleHandle second = loadLibrary(u"TESTLIB.DLL", false);  // names ignore case
    ASSERT_NE(first, 0u);
    EXPECT_EQ(second, first);
    EXPECT_EQ(loadLines(), 1);

    unloadLibrary(second, true);
    EXPECT_EQ(second, first);  // only the count went down
    EXPECT_EQ(getProcAddress(first, u"Answer", u"TestLib.dll"), exportAddress(&answer));

    const ModuleHandle kept = first;
    unloadLibrary(first, true);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(getProcAddress(kept, u"Answer", u"TestLib.dll"), nullptr);
    EXPECT_EQ(getLastError(), kErrorInvalidHandle);
}

TEST_F(LoadedFunctionTest, ModuleFreedWithoutForgettingIsNotHandedOutAgain)
{
    ModuleHandle handle = loadLibrary(u"TestLib.dll", false);
    const ModuleHandle freed = handle;
    unloadLibrary(handle, false);
    EXPECT_EQ(handle, 0u);

    ModuleHandle again = loadLibrary(u"TestLib.dll", false);
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, freed);
    EXPECT_EQ(loadLines(), 2);  // really loaded a second time
    EXPECT_EQ(getProcAddress(freed, u"Answer", u"TestLib.dll"), nullptr);
    EXPECT_NE(getProcAddress(again, u"Answer", u"TestLib.dll"), nullptr);
    unloadLibrary(again, false);
}

TEST_F(LoadedFunctionTest, MissingExportIsLoggedWithError127)
{
    ModuleHandle handle = loadLibrary(u"coredll.dll", false);
    capture_.clear();
    EXPECT_EQ(getProcAddress(handle, u"NoSuchExport", u"coredll.dll"), nullptr);
    EXPECT_EQ(getLastError(), kErrorProcNotFound);
    EXPECT_EQ(capture_.lines(),
              std::vector<std::u16string>{u"Missing function 'NoSuchExport' in coredll.dll. Error code: 127"});
    unloadLibrary(handle, true);
}

TEST_F(LoadedFunctionTest, LoadedFunctionKeepsItsModuleLoaded)
{
    {
        auto function = makeLoadedFunction(u"Answer", u"TestLib.dll");
        ASSERT_TRUE(*function);
        EXPECT_EQ(function->as<int (*)()>()(), 42);
        auto other = makeLoadedFunction(u"Answer", u"testlib.dll");
        EXPECT_EQ(other->module()->handle(), function->module()->handle());
        EXPECT_EQ(loadLines(), 1);
    }
    // Both references gone: the module was freed, the next load loads anew.
    auto function = makeLoadedFunction(u"Answer", u"TestLib.dll");
    EXPECT_EQ(loadLines(), 2);
}

TEST_F(LoadedFunctionTest, AvailabilityIsAskedAtEachLoad)
{
    bool present = false;
    registerBuiltinModule(u"flaky.dll", {{u"Answer", exportAddress(&answer)}},
                          [&present] { return present ? kErrorSuccess : kErrorModNotFound; });
    EXPECT_EQ(loadLibrary(u"flaky.dll", true), 0u);
    present = true;
    ModuleHandle handle = loadLibrary(u"flaky.dll", true);
    EXPECT_NE(handle, 0u);
    unloadLibrary(handle, true);
}

TEST(LoadedFunctionThreads, ConcurrentLoadsShareOneHandle)
{
    test::DiagCapture capture;
    registerBuiltinModule(u"ThreadLib.dll", {{u"Answer", exportAddress(&answer)}});
    constexpr int kThreads = 8;
    std::atomic<ModuleHandle> seen{0};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    ModuleHandle anchor = loadLibrary(u"ThreadLib.dll", true);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                ModuleHandle handle = loadLibrary(u"ThreadLib.dll", true);
                ModuleHandle expected = 0;
                if (!seen.compare_exchange_strong(expected, handle) && expected != handle)
                    ++mismatches;
                auto function = makeLoadedFunction(u"Answer", u"ThreadLib.dll");
                if (!*function)
                    ++mismatches;
                unloadLibrary(handle, true);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(seen.load(), anchor);
    unloadLibrary(anchor, true);
    EXPECT_EQ(anchor, 0u);
    unregisterBuiltinModule(u"ThreadLib.dll");
}

}  // namespace
}  // namespace druvex
