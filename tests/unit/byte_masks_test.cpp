#include "byte_masks.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>


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

INSTANTIATE_TEST_SUITE_P(FindBytes, EveryWay, testing::ValuesIn(EveryFindBytes()),
                         [](const testing::TestParamInfo<FindBytesWay>& way) {
                           std::string name;
                           for (const char c : way.param.name) {
                             name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
                           }
                           return name;
                         });

}  // namespace
