#include <gtest/gtest.h>

#include "ulvenaReader.hpp"

namespace {

TEST(AskingHelp, KnowsTheSixHelpSwitches) {
  for (const char* arg : {"-?", "/?", "-help", "/help", "-aide", "/aide"}) {
    EXPECT_TRUE(asking_help(arg)) << arg;
  }
}

TEST(AskingHelp, TakesEverythingElseForAFileName) {
  for (const char* arg : {"", "-", "/", "?", "help", "-HELP", "/Aide", "--help", "-h", "/aide2",
                          "-hel", "-?x", "+?", "rapports.txt", "/home/zoe/rapports.txt"}) {
    EXPECT_FALSE(asking_help(arg)) << arg;
  }
}

}  // namespace
