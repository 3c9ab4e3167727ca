#include "engine/result_output.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "engine/report_reader.hpp"
#include "platform/platform.hpp"
#include "report_file/report_file.hpp"

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

  // The report file, opened and read to its end, as a run has it when it saves its result.
  ReportFile Read() const {
    ReportFile report;
    EXPECT_EQ(report.Open(path_.c_str()), std::nullopt);
    std::array<char, 64> buffer{};
    while (report.Read(buffer.data(), buffer.size()) > 0) {
    }
    return report;
  }

  std::filesystem::path directory_;
  std::string path_;
};

TEST_F(SaveResultTest, AppendsTheBlockAfterTheBytesAlreadyThereInTheFilesEncoding) {
  struct Encoded {
    std::string before;
    TextEncoding encoding;
    std::string block;
  };
  std::string little_endian("\xFF\xFE", 2);
  std::string big_endian("\xFE\xFF", 2);
  for (const char byte : kBlock) {
    little_endian.append({byte, '\0'});
    big_endian.append({'\0', byte});
  }
  for (const auto& [before, encoding, block] :
       {Encoded{"1 2 3", TextEncoding::kBytes, std::string(kBlock)},
        Encoded{"\xFF\xFE", TextEncoding::kUtf16LittleEndian, little_endian.substr(2)},
        Encoded{"\xFE\xFF", TextEncoding::kUtf16BigEndian, big_endian.substr(2)}}) {
    Write(before);
    ReadOutcome reading;
    reading.encoding = encoding;
    EXPECT_EQ(
        SaveResult(Read(), ResultsOf(reading, {12345, 6789, 1234}, kSystemLineEnds), path_.c_str()),
        0);
    EXPECT_EQ(Contents(), before + block);
  }
}

// Each way a block cannot be added: the message, on standard output, which the death test sends
// to standard error to see it, status -2, and the file left as it was.
TEST_F(SaveResultTest, AppendsNothingWhenNoBlockCanBeAdded) {
  struct Ending {
    std::function<void(const std::string& path)> meanwhile;  // after the reading
    ReadOutcome reading;
    std::string message;
    std::optional<std::string> after = "1 2 3\n";  // nothing: no file there
    std::string before = "1 2 3\n";
  };
  // A limit on the file size holds for the file where the death test captures the message too,
  // which names the path: past a report this long, the message fits under it, whatever the path's
  // length, and no block does.
  const std::string long_report = "1 2 3\n" + std::string(4096, '.') + "\n";
  const std::string named = "\"" + path_ + "\"";
  const Ending endings[] = {
      {[](const std::string& path) { std::ofstream(path, std::ios::app) << "4 5 6\n"; },
       {},
       "ERROR : " + named + " changed while it was being read: nothing was appended\\.\n",
       "1 2 3\n4 5 6\n"},
      {[](const std::string& path) { std::filesystem::remove(path); },
       {},
       "ERROR : " + named + " changed while it was being read: nothing was appended\\.\n",
       std::nullopt},
      {[](const std::string& path) {
         std::filesystem::remove(path);
         std::filesystem::create_directory(path);
       },
       {},
       "ERROR : " + named + " can't be open in append mode\\.\n",
       std::nullopt},
      // No room for the block: what part of it was written is taken back.
      {[](const std::string& path) {
         const rlimit limit{std::filesystem::file_size(path) + 200, RLIM_INFINITY};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       {},
       "ERROR : the result can't be written to " + named + "\\.\n",
       long_report,
       long_report},
      {[](const std::string&) {},
       {.not_text = true},
       "ERROR : " + named + " is not a text file: nothing was appended\\.\n"},
      {[](const std::string&) {},
       {.line_too_long = true},
       "ERROR : " + named + " has a line too long to be read: nothing was appended\\.\n"},
      {[](const std::string&) {},
       {.read_error = true},
       "Erreur de lecture du fichier " + named + "\n"},
  };
  for (const auto& [meanwhile, reading, message, after, before] : endings) {
    SCOPED_TRACE(message);
    Write(before);
    EXPECT_EXIT(
        {
          dup2(STDERR_FILENO, STDOUT_FILENO);
          ReportFile report = Read();
          meanwhile(path_);
          SaveResult(std::move(report), ResultsOf(reading, {1, 2, 3}, kSystemLineEnds),
                     path_.c_str());
        },
        testing::ExitedWithCode(254), "^" + message + "$");
    EXPECT_EQ(std::filesystem::is_regular_file(path_) ? std::optional(Contents()) : std::nullopt,
              after);
    std::filesystem::remove_all(path_);
  }
}

}  // namespace
