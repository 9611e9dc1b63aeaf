// The real druvex-setup program given "use_config" with a quoted empty path
// or with no path at all: neither run installs anything with the defaults of
// a configuration that nobody wrote.
#include <gtest/gtest.h>

#include <string>

#include "program_fixture.h"

namespace druvex {
namespace {

using test::ProgramRun;

class EndToEndUseConfig : public test::InstallerApp {};

TEST_F(EndToEndUseConfig, AnEmptyQuotedPathEndsTheRunWithAMessage)
{
    appendArchive();
    const ProgramRun result = run("silent_mode use_config ''");
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("The option use_config names no configuration file."), std::string::npos)
        << result.err;
    const std::string log = logs();
    EXPECT_NE(log.find("use_config names no configuration file"), std::string::npos) << log;
    // Stopped before the first page.
    EXPECT_EQ(log.find("The silent run stops"), std::string::npos) << log;
    EXPECT_NE(log.find("Exit code 1 (0x00000001), process status 1"), std::string::npos) << log;

    // The same given as one text, the way another program starts the installer.
    EXPECT_EQ(run("'silent_mode use_config \"\"'").status, 1);
}

TEST_F(EndToEndUseConfig, AnOptionWithoutItsPathIsACommandLineError)
{
    appendArchive();
    const ProgramRun result = run("silent_mode use_config");
    EXPECT_EQ(result.status, 255) << result.err;
    EXPECT_NE(logs().find("Exit code 4294967295 (0xFFFFFFFF), process status 255"), std::string::npos) << logs();
}

}  // namespace
}  // namespace druvex
