#include "result_output.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Doted(std::uint64_t value) {
  std::string text;
  PrintDoted(text, value);
  return text;
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
  EXPECT_EQ(Doted(9999999999999999999U), "9.999.999.999.999.999.999");
}

TEST(PrintDoted, WritesTwentyDigitValuesInFull) {
  EXPECT_EQ(Doted(10000000000000000000U), "10.000.000.000.000.000.000");
  EXPECT_EQ(Doted(12345678901234567890U), "12.345.678.901.234.567.890");
  EXPECT_EQ(Doted(18446744073709551615U), "18.446.744.073.709.551.615");
}

constexpr std::string_view kBlock =
    "\n[center][color=#00ff00][img]http://images.ulvena.net/img301/3650/rentaiw0.png[/img]\n"
    "[img]http://images.ulvena.net/img451/3976/metalic2.png[/img] 12.345\n"
    "\n"
    "[img]http://images.ulvena.net/img217/1948/cristalrd2.png[/img] 6.789\n"
    "\n"
    "[img]http://images.ulvena.net/img105/5311/deutym6.png[/img] 1.234[/color][/center]";

std::string Block(std::string_view line_end, std::uint64_t metal, std::uint64_t crystal,
                  std::uint64_t deuterium) {
  std::string block;
  PrintFormated(block, line_end, metal, crystal, deuterium);
  return block;
}

TEST(PrintFormated, WritesTheCentredGreenBlockWithAnIconPerResource) {
  EXPECT_EQ(Block("\n", 12345, 6789, 1234), kBlock);
  std::string crlf;
  for (const char byte : kBlock) {
    crlf += byte == '\n' ? std::string("\r\n") : std::string(1, byte);
  }
  EXPECT_EQ(Block("\r\n", 12345, 6789, 1234), crlf);
}

TEST(BlockLineRest, KnowsEveryLineOfAWrittenBlockWithPictures) {
  const std::string block = Block("\n", 18446744073709551615U, 0, 7);
  std::size_t picture_lines = 0;
  for (std::size_t start = 0, end = 0; start < block.size(); start = end) {
    end = std::min(block.find('\n', start), block.size() - 1) + 1;
    const std::string_view line(block.data() + start, end - start);
    SCOPED_TRACE(line);
    if (line.find("[img]") == std::string_view::npos) {
      EXPECT_FALSE(BlockLineRest(line).has_value());
      continue;
    }
    ++picture_lines;
    EXPECT_EQ(BlockLineRest(line), std::string_view{});
  }
  EXPECT_EQ(picture_lines, 4U);
}

TEST(BlockLineRest, GivesWhatFollowsTheClosingTags) {
  EXPECT_EQ(BlockLineRest("[img]x/img105/5311/deutym6.png[/img] 0[/color][/center]12 3\n"),
            "12 3\n");
  EXPECT_EQ(BlockLineRest("[img]x/img451/3976/metalic2.png[/img] 5\n"), "");
  EXPECT_FALSE(BlockLineRest("12 [/img] 3 [/color][/center]\n").has_value());
}

TEST(BlockLineRest, KnowsALineCutShortWhateverTheHost) {
  for (const std::string_view cut : {"[", "[center][col", "[img]", "[img]ht", "[img]https://h:8",
                                     "[center][color=#00ff00][img]http://h.example/img30",
                                     "[img]http://h/img451/3976/metalic2.png[/im\r\n"}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(BlockLineRest(cut), std::string_view{});
  }
  for (const std::string_view report : {"[img] 1 2 3", "[img]ftp://h/x 4", "[i 5 6",
                                        "[img]http://h/a.png[/img] 7 8 9", "[im]http://h/"}) {
    SCOPED_TRACE(report);
    EXPECT_FALSE(BlockLineRest(report).has_value());
  }
}

class SaveResultTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    directory_ = std::filesystem::path(testing::TempDir()) /
                 ("ulvena_" + std::string(test->name()) + std::to_string(getpid()));
    std::filesystem::create_directories(directory_);
    path_ = (directory_ / "rapports.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  void Write(std::string_view text) const { std::ofstream(path_, std::ios::binary) << text; }

  std::string Contents() const {
    std::ifstream file(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  // The file as a reading of it would have found it.
  FileState State() const {
    bool missing = false;
    const int file = OpenForAppending(path_.c_str(), missing);
    const FileState state = StateOf(file);
    CloseFile(file);
    return state;
  }

  std::filesystem::path directory_;
  std::string path_;
};

TEST_F(SaveResultTest, AppendsTheBlockAfterTheBytesAlreadyThere) {
  Write("1 2 3");
  EXPECT_EQ(SaveResult(path_.c_str(), kNoFile, State(), TextEncoding::kBytes, 12345, 6789, 1234),
            0);
  EXPECT_EQ(Contents(), "1 2 3" + std::string(kBlock));
}

TEST_F(SaveResultTest, AppendsTheBlockInTheFilesUtf16) {
  const std::string little_endian_bom("\xFF\xFE", 2);
  const std::string big_endian_bom("\xFE\xFF", 2);
  for (const auto encoding : {TextEncoding::kUtf16LittleEndian, TextEncoding::kUtf16BigEndian}) {
    const bool little = encoding == TextEncoding::kUtf16LittleEndian;
    const std::string bom = little ? little_endian_bom : big_endian_bom;
    Write(bom);
    EXPECT_EQ(SaveResult(path_.c_str(), kNoFile, State(), encoding, 12345, 6789, 1234), 0);
    std::string expected = bom;
    for (const char byte : kBlock) {
      expected += little ? std::string{byte, '\0'} : std::string{'\0', byte};
    }
    EXPECT_EQ(Contents(), expected);
  }
}

// The messages go to standard output; the death tests send it to standard error to see them.
TEST_F(SaveResultTest, AppendsNothingToAFileThatChangedOrWentSinceItWasRead) {
  Write("1 2 3\n");
  const FileState read = State();
  Write("1 2 3\n4 5 6\n");
  const std::string message =
      "^ERROR : \"" + path_ + "\" changed while it was being read: " + "nothing was appended\\.\n$";
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SaveResult(path_.c_str(), kNoFile, read, TextEncoding::kBytes, 1, 2, 3);
      },
      testing::ExitedWithCode(254), message);
  EXPECT_EQ(Contents(), "1 2 3\n4 5 6\n");

  std::filesystem::remove(path_);
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SaveResult(path_.c_str(), kNoFile, read, TextEncoding::kBytes, 1, 2, 3);
      },
      testing::ExitedWithCode(254), message);
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST(SaveResultDeathTest, EndsWithStatusMinus2WhenTheBlockCannotBeWritten) {
  bool missing = false;
  const int full = OpenForAppending("/dev/full", missing);
  const FileState state = StateOf(full);
  CloseFile(full);
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SaveResult("/dev/full", kNoFile, state, TextEncoding::kBytes, 1, 2, 3);
      },
      testing::ExitedWithCode(254), "^ERROR : the result can't be written to \"/dev/full\"\\.\n$");
}

TEST(SaveResultDeathTest, EndsWithStatusMinus2WhenTheFileCannotBeOpenedForAppending) {
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        SaveResult("/", kNoFile, FileState{}, TextEncoding::kBytes, 1, 2, 3);
      },
      testing::ExitedWithCode(254), "^ERROR : \"/\" can't be open in append mode\\.\n$");
}

}  // namespace
