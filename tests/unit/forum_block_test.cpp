#include "forum_block/forum_block.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

std::string Block(std::string_view metal, std::string_view crystal, std::string_view deuterium) {
  std::string block;
  WriteBlock(block, "\n", metal, crystal, deuterium);
  return block;
}

TEST(BlockLineRest, KnowsEveryLineOfAWrittenBlockWithPictures) {
  const std::string block = Block("18.446.744.073.709.551.615", "0", "7");
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
                                     "[img]http://h/img451/3976/metalic2.png[/im\r\n", "[\r"}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(BlockLineRest(cut), std::string_view{});
  }
  for (const std::string_view report :
       {"[img] 1 2 3", "[img]ftp://h/x 4", "[i 5 6", "[img]http://h/a.png[/img] 7 8 9",
        "[im]http://h/", "[7:402:10] 1 2\n"}) {
    SCOPED_TRACE(report);
    EXPECT_FALSE(BlockLineRest(report).has_value());
  }
}

}  // namespace
