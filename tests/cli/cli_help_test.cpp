#include "test_support.h"

#include <gtest/gtest.h>

using ravir::test::runRavir;

TEST(CliHelp, HelpListsCommandsAndExitsZero)
{
    const auto r = runRavir({"--help"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("Usage: ravir COMMAND"));
}

TEST(CliHelp, UnknownCommandFailsWithMessage)
{
    const auto r = runRavir({"no-such-command"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("unknown command"));
}
