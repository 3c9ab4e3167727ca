#include "engine/byte_masks.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "engine/report_reader.hpp"

// A way is named by its instructions in the test's name and output.
void PrintTo(const FindBytesWay& way, std::ostream* out) {
  *out << way.name;
}

namespace {

class EveryWay : public testing::TestWithParam<FindBytesWay> {
 protected:
  void SetUp() override {
    if (!GetParam().runs_here) {
      GTEST_SKIP() << "this processor does not run " << GetParam().name;
    }
  }
};

// Each way marks exactly the bytes it is asked for, whatever their value and place, and wherever
// the 64 bytes start in memory.
TEST_P(EveryWay, MarksTheBytesLookedFor) {
  std::string text;
  for (int round = 0; round < 3; ++round) {
    for (int byte = 0; byte < 256; ++byte) {
      text += static_cast<char>((byte * 37 + round * 101) % 256);
    }
  }
  text += std::string(64, '5');
  for (std::size_t start = 0; start + 64 * 4 <= text.size(); start += 13) {
    ByteMasks expected[4];
    for (std::size_t i = 0; i < 64 * 4; ++i) {
      const char byte = text[start + i];
      const std::uint64_t bit = std::uint64_t{1} << (i % 64);
      ByteMasks& masks = expected[i / 64];
      masks.line_ends |= byte == '\n' ? bit : 0;
      masks.digits |= byte >= '0' && byte <= '9' ? bit : 0;
      masks.dots |= byte == '.' ? bit : 0;
      masks.brackets |= byte == '[' ? bit : 0;
      masks.nuls |= byte == '\0' ? bit : 0;
    }
    ByteMasks found[4];
    GetParam().find_bytes(text.data() + start, 4, found);
    for (std::size_t block = 0; block < 4; ++block) {
      SCOPED_TRACE(testing::Message() << "start " << start << ", block " << block);
      EXPECT_EQ(found[block].line_ends, expected[block].line_ends);
      EXPECT_EQ(found[block].digits, expected[block].digits);
      EXPECT_EQ(found[block].dots, expected[block].dots);
      EXPECT_EQ(found[block].brackets, expected[block].brackets);
      EXPECT_EQ(found[block].nuls, expected[block].nuls);
    }
  }
}

struct Read {
  ResourceTotals totals;
  ReadOutcome outcome;
  std::string echo;
};

Read ReadWith(FindBytes find_bytes, const std::string& report) {
  Read read;
  read.outcome = ReadReport(
      ReadFromMemory(report), kUnixLineEnds, read.totals,
      [&read](std::string_view text) { read.echo += text; }, find_bytes);
  return read;
}

// The whole reading, with each way, of every end-to-end case's report, which the test run writes
// into the folder that E2E_REPORTS names: the echo, the totals and what the reading found are
// those of the plain way.
TEST_P(EveryWay, ReadsEveryEndToEndReportAsThePlainWayDoes) {
  const char* const folder = std::getenv("E2E_REPORTS");
  ASSERT_NE(folder, nullptr);
  std::size_t reports = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string report{std::istreambuf_iterator<char>(file), {}};
    const Read plain = ReadWith(EveryFindBytes().front().find_bytes, report);
    const Read read = ReadWith(GetParam().find_bytes, report);
    EXPECT_TRUE(read.echo == plain.echo);  // not printed: some are 64 MiB
    EXPECT_EQ(read.totals.metal, plain.totals.metal);
    EXPECT_EQ(read.totals.crystal, plain.totals.crystal);
    EXPECT_EQ(read.totals.deuterium, plain.totals.deuterium);
    EXPECT_EQ(read.outcome.not_text, plain.outcome.not_text);
    EXPECT_EQ(read.outcome.bytes_read, plain.outcome.bytes_read);
    ++reports;
  }
  EXPECT_GT(reports, 30U);
}

INSTANTIATE_TEST_SUITE_P(FindBytes, EveryWay, testing::ValuesIn(EveryFindBytes()),
                         [](const testing::TestParamInfo<FindBytesWay>& way) {
                           std::string name;
                           for (const char c : way.param.name) {
                             name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
                           }
                           return name;
                         });

}  // namespace
