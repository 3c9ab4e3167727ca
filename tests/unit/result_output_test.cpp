#include "result_output.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

// What `write` puts on a stream.
std::string Written(const std::function<void(std::FILE*)>& write) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&data, &size);
  write(stream);
  std::fclose(stream);
  std::string text(data, size);
  std::free(data);
  return text;
}

std::string Doted(std::uint64_t value) {
  return Written([value](std::FILE* stream) { PrintDoted(stream, value); });
}

TEST(PrintDoted, PutsADotBetweenGroupsOfThreeDigits) {
  EXPECT_EQ(Doted(0), "0");
  EXPECT_EQ(Doted(7), "7");
  EXPECT_EQ(Doted(999), "999");
  EXPECT_EQ(Doted(1000), "1.000");
  EXPECT_EQ(Doted(12345), "12.345");
  EXPECT_EQ(Doted(100000), "100.000");
  EXPECT_EQ(Doted(1000000), "1.000.000");
  EXPECT_EQ(Doted(1234567), "1.234.567");
  EXPECT_EQ(Doted(9999999999999999999u), "9.999.999.999.999.999.999");
}

TEST(PrintDoted, WritesTwentyDigitValuesInFull) {
  EXPECT_EQ(Doted(10000000000000000000u), "10.000.000.000.000.000.000");
  EXPECT_EQ(Doted(12345678901234567890u), "12.345.678.901.234.567.890");
  EXPECT_EQ(Doted(18446744073709551615u), "18.446.744.073.709.551.615");
}

constexpr std::string_view kBlock =
    "\n[center][color=#00ff00][img]http://images.ulvena.net/img301/3650/rentaiw0.png[/img]\n"
    "[img]http://images.ulvena.net/img451/3976/metalic2.png[/img] 12.345\n"
    "\n"
    "[img]http://images.ulvena.net/img217/1948/cristalrd2.png[/img] 6.789\n"
    "\n"
    "[img]http://images.ulvena.net/img105/5311/deutym6.png[/img] 1.234[/color][/center]";

TEST(PrintFormated, WritesTheCentredGreenBlockWithAnIconPerResource) {
  EXPECT_EQ(Written([](std::FILE* stream) { PrintFormated(stream, 12345, 6789, 1234); }), kBlock);
}

TEST(BlockLineRest, KnowsEveryLineOfAWrittenBlockWithPictures) {
  const std::string block =
      Written([](std::FILE* stream) { PrintFormated(stream, 18446744073709551615u, 0, 7); });
  std::size_t picture_lines = 0;
  for (std::size_t start = 0, end = 0; start < block.size(); start = end) {
    end = std::min(block.find('\n', start), block.size() - 1) + 1;
    const std::string_view line(block.data() + start, end - start);
    if (line.find("[img]") == std::string_view::npos) {
      EXPECT_FALSE(BlockLineRest(line).has_value()) << line;
      continue;
    }
    ++picture_lines;
    EXPECT_EQ(BlockLineRest(line), std::string_view{}) << line;
  }
  EXPECT_EQ(picture_lines, 4u);
}

TEST(BlockLineRest, GivesWhatFollowsTheClosingTags) {
  EXPECT_EQ(BlockLineRest("[img]x/img105/5311/deutym6.png[/img] 0[/color][/center]12 3\n"),
            "12 3\n");
  EXPECT_EQ(BlockLineRest("[img]x/img451/3976/metalic2.png[/img] 5\n"), "");
  EXPECT_FALSE(BlockLineRest("12 [/img] 3 [/color][/center]\n").has_value());
}

class SaveResultTest : public testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        std::filesystem::temp_directory_path() / ("ulvena_save_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(directory_);
    path_ = (directory_ / "rapports.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::string Contents() const {
    std::ifstream file(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path directory_;
  std::string path_;
};

TEST_F(SaveResultTest, AppendsTheBlockAfterTheBytesAlreadyThere) {
  std::ofstream(path_, std::ios::binary) << "1 2 3";
  EXPECT_EQ(SaveResult(path_.c_str(), 12345, 6789, 1234), 0);
  EXPECT_EQ(Contents(), "1 2 3" + std::string(kBlock));
}

TEST_F(SaveResultTest, CreatesAFileRemovedSinceItWasRead) {
  EXPECT_EQ(SaveResult(path_.c_str(), 12345, 6789, 1234), 0);
  EXPECT_EQ(Contents(), kBlock);
}

// The messages go to standard output; the death tests send it to standard error to see them.
TEST(SaveResultDeathTest, EndsWithStatusMinus2WhenTheBlockCannotBeWritten) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SaveResult("/dev/full", 1, 2, 3);
      },
      testing::ExitedWithCode(254), "^ERROR : the result can't be written to \"/dev/full\"\\.\n$");
}

TEST(SaveResultDeathTest, EndsWithStatusMinus2WhenTheFileCannotBeOpenedForAppending) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SaveResult("/nonexistent-dir/r.txt", 1, 2, 3);
      },
      testing::ExitedWithCode(254),
      "^ERROR : \"/nonexistent-dir/r.txt\" can't be open in append mode\\.\n$");
}

}  // namespace
