#include "platform/fault_signals.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/builtin_modules.h"
#include "platform/registry.h"
#include "support/device_fixture.h"

namespace druvex {
namespace {

TEST(CrashSignals, MapToTheDeviceExceptionCodes)
{
    struct Case {
        int signal;
        int signalCode;
        bool stackOverflow;
        std::uint32_t code;
    };
    const Case cases[] = {
        {SIGSEGV, SEGV_MAPERR, false, 0xC0000005}, {SIGSEGV, SEGV_ACCERR, true, 0xC00000FD},
        {SIGBUS, BUS_ADRERR, false, 0xC0000006},   {SIGBUS, BUS_ADRALN, false, 0xC0000005},
        {SIGILL, ILL_ILLOPC, false, 0xC000001D},   {SIGFPE, FPE_INTDIV, false, 0xC0000094},
        {SIGFPE, FPE_INTOVF, false, 0xC0000095},   {SIGFPE, FPE_FLTDIV, false, 0xC000008E},
        {SIGFPE, FPE_FLTOVF, false, 0xC0000091},   {SIGFPE, FPE_FLTUND, false, 0xC0000093},
        {SIGFPE, FPE_FLTRES, false, 0xC000008F},   {SIGFPE, FPE_FLTINV, false, 0xC0000090},
        {SIGABRT, SI_TKILL, false, 0xC0000409},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exceptionCodeFromSignal(c.signal, c.signalCode, c.stackOverflow), c.code)
            << std::hex << c.signal << " " << c.signalCode;
}

std::string readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The device's dump capture writes into the directory the registry names.
class CrashCaptureTest : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().writeDeviceFile("registry.reg",
                                 "DRUVEX-REGISTRY 1\n\n[HKEY_LOCAL_MACHINE\\System\\ErrorReporting\\DumpSettings]\n"
                                 "\"DumpDirectory\"=\"\\\\Temp\\\\Dumps\"\n");
        ASSERT_EQ(deviceRegistry().configure((device().directory() / "registry.reg").string()), 0u);
    }
    void TearDown() override
    {
        deviceRegistry().configure(std::string());
        DeviceFixture::TearDown();
    }

    std::vector<std::filesystem::path> dumps()
    {
        std::vector<std::filesystem::path> files;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(device().hostPath("Temp/Dumps"), ignored))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(CrashCaptureTest, WritesATextDumpOfTheCallingThread)
{
    ASSERT_TRUE(captureDumpFileOnDevice(0, 0, nullptr));
    ExceptionInfo fault;
    fault.code = kExceptionAccessViolation;
    fault.signal = SIGSEGV;
    fault.signalCode = SEGV_MAPERR;
    fault.faultAddress = reinterpret_cast<const void*>(0x10);
    {
        CurrentFaultScope scope(fault);
        ASSERT_TRUE(captureDumpFileOnDevice(0, currentThreadId(), nullptr));
    }
    EXPECT_EQ(currentThreadFault(), nullptr);

    const auto files = dumps();
    ASSERT_EQ(files.size(), 2u);
    std::string onRequest = readAll(files[0]);
    std::string onFault = readAll(files[1]);
    if (onFault.find("No fault") != std::string::npos)
        std::swap(onRequest, onFault);
    for (const std::string& dump : {onRequest, onFault}) {
        EXPECT_TRUE(dump.starts_with("Crash dump of process " + std::to_string(getpid()) + ", thread ")) << dump;
        EXPECT_NE(dump.find("\nBacktrace:\n"), std::string::npos);
        EXPECT_NE(dump.find("\nMemory map:\n"), std::string::npos);
        EXPECT_NE(dump.find("[stack]"), std::string::npos);
    }
    EXPECT_NE(onRequest.find("No fault: dump taken on request"), std::string::npos);
    EXPECT_NE(onFault.find("Exception code: 0xC0000005\nSignal: 11 (SIGSEGV), code 1\nFault address: 0x10\n"),
              std::string::npos)
        << onFault;
}

}  // namespace
}  // namespace druvex
