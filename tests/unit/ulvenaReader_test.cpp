#include "ulvenaReader.hpp"

#include <gtest/gtest.h>

namespace {

TEST(AskingHelp, KnowsTheSixHelpSwitches) {
  for (const char* arg : {"-?", "/?", "-help", "/help", "-aide", "/aide"}) {
    SCOPED_TRACE(arg);
    EXPECT_TRUE(asking_help(arg));
  }
}

TEST(AskingHelp, TakesEverythingElseForAFileName) {
  for (const char* arg : {"", "-", "/", "?", "help", "-HELP", "/Aide", "--help", "-h", "/aide2",
                          "-hel", "-?x", "+?", "rapports.txt", "/home/zoe/rapports.txt"}) {
    SCOPED_TRACE(arg);
    EXPECT_FALSE(asking_help(arg));
  }
}

}  // namespace
