#include "byte_masks.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Every way this processor runs marks exactly the bytes it is asked for, whatever their value
// and place, and wherever the 64 bytes start in memory.
TEST(FindBytes, EveryWayMarksTheBytesLookedFor) {
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
    for (const FindBytes find_bytes : EveryFindBytes()) {
      ByteMasks found[4];
      find_bytes(text.data() + start, 4, found);
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
}

}  // namespace
