#include "platform/exit_status.h"

#include <gtest/gtest.h>

#include "support/diag_capture.h"

namespace druvex {
namespace {

TEST(ExitStatus, MapsEveryCodeOfTheTable)
{
    struct Case {
        std::uint32_t code;
        int status;
    };
    const Case cases[] = {
        {0, 0}, {1, 1}, {3, 3}, {static_cast<std::uint32_t>(-1), 255}, {static_cast<std::uint32_t>(-2), 254},
        {static_cast<std::uint32_t>(-3), 253}, {0xBADE0000, 222}, {0xBADEE000, 238},
        // The update check's mask.
        {2, 2}, {0x8000000, 4}, {0x8000001, 5}, {0x8000002, 6}, {0x8000003, 7}, {0x80000000, 128},
        // Everything else: the low 8 bits, never 0 for a non-zero code.
        {0x05010000, 1}, {0x05010203, 3}, {0x0501002A, 42}, {0x100, 1}, {0x8000004, 4}, {0x80000001, 1},
        {0x88000000, 1}, {0xBADE0001, 1}, {200, 200},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exitStatusFromCode(c.code), c.status) << std::hex << "code 0x" << c.code;
}

TEST(ExitStatus, NoNonZeroCodeMapsToSuccess)
{
    for (std::uint32_t high = 0; high < 0x100; ++high) {
        for (std::uint32_t low : {0u, 0x100u, 0x10000u, 0x8000000u}) {
            const std::uint32_t code = high << 24 | low;
            if (code != 0) {
                EXPECT_NE(exitStatusFromCode(code), 0) << std::hex << code;
            }
        }
    }
}

TEST(ExitStatus, LogLineCarriesTheFullCode)
{
    test::DiagCapture diag;
    EXPECT_EQ(logExitStatus(0xBADE0000), 222);
    EXPECT_EQ(logExitStatus(static_cast<std::uint32_t>(-1)), 255);
    const auto lines = diag.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], u"Exit code 3135111168 (0xBADE0000), process status 222");
    EXPECT_EQ(lines[1], u"Exit code 4294967295 (0xFFFFFFFF), process status 255");
}

}  // namespace
}  // namespace druvex
