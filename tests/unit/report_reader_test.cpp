#include "engine/report_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "engine/result_output.hpp"

namespace {

// What one scan of `line` (by FindIntValues or ReadLine) echoes; `totals` are left as it leaves
// them.
std::string EchoOf(void (*scan)(std::string_view, ResourceTotals&, Echo&), std::string_view line,
                   ResourceTotals& totals) {
  std::string text;
  Echo echo{[&text](std::string_view piece) { text += piece; }};
  scan(line, totals, echo);
  Flush(echo);
  return text;
}

// A whole read of `data`, given at most `piece` bytes a read: the totals, what the reading found,
// and the echo.
struct WholeRead {
  ResourceTotals totals;
  ReadOutcome outcome;
  std::string echo;
};

WholeRead ReadAll(std::string_view data, std::size_t piece = std::string_view::npos,
                  const LineEnds& line_ends = kUnixLineEnds) {
  WholeRead read;
  read.outcome = ReadReport(ReadFromMemory(data, piece), line_ends, read.totals,
                            [&read](std::string_view text) { read.echo += text; });
  return read;
}

void ExpectSameRead(const WholeRead& read, const WholeRead& expected) {
  EXPECT_EQ(read.echo, expected.echo);
  EXPECT_EQ(read.totals.metal, expected.totals.metal);
  EXPECT_EQ(read.totals.crystal, expected.totals.crystal);
  EXPECT_EQ(read.totals.deuterium, expected.totals.deuterium);
  EXPECT_EQ(read.outcome.not_text, expected.outcome.not_text);
}

struct DotedCase {
  std::string_view text;
  std::uint64_t value;
  std::size_t last_consumed;
};

TEST(DotedToInt, ReadsDigitsSkippingOneDotAfterEachDigit) {
  const DotedCase cases[] = {
      {"12.345 ", 12345, 5},
      {"1.234.567,", 1234567, 8},
      {"3.5", 35, 2},
      {"12. ", 12, 2},
      {"1..2", 1, 1},
      {"007", 7, 2},
      {"12 345", 12, 1},
      {"0", 0, 0},
      {"9.", 9, 1},
      {"18446744073709551615", 18446744073709551615u, 19},
      {"1.2345", 12345, 5},
      {"1.23.456", 123456, 7},
      {"0.001.", 1, 5},
      {"12.345.6789", 123456789, 10},
      {"1.234/", 1234, 4},
      {"5.678:9", 5678, 4},
      {"1.2/3:", 12, 2},
      {"1.2:3", 12, 2},
      {"7.89\xB9", 789, 3},
      {"1.234.5678", 12345678, 9},
      {"12.345.67 ", 1234567, 8},
      {"1.234,567", 1234, 4},
      {"9.999.999\xB9", 9999999, 8},
      {"1.234.567.890.1", 12345678901, 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::size_t position = 0;
    EXPECT_EQ(DotedToInt(c.text, position), c.value);
    EXPECT_EQ(position, c.last_consumed);
    // The reading reads and echoes the same number.
    const WholeRead read = ReadAll(c.text);
    EXPECT_EQ(read.totals.metal, c.value);
    EXPECT_EQ(read.echo.substr(0, read.echo.find(' ')), std::to_string(c.value));
  }
}

TEST(DotedToInt, StartsAtThePositionGiven) {
  std::size_t position = 4;
  EXPECT_EQ(DotedToInt("abc 4.2.0 z", position), 420u);
  EXPECT_EQ(position, 8u);
}

TEST(DotedToInt, WrapsModulo2To64) {
  std::size_t position = 0;
  EXPECT_EQ(DotedToInt("18446744073709551616", position), 0u);
  position = 0;
  EXPECT_EQ(DotedToInt("18.446.744.073.709.551.617", position), 1u);
  position = 0;
  EXPECT_EQ(DotedToInt("100000000000000000000", position), 7766279631452241920u);
  EXPECT_EQ(ReadAll("18.446.744.073.709.551.617").totals.metal, 1u);
}

struct ScanCase {
  std::string_view line;
  std::string_view echo;
};

TEST(FindIntValues, EchoesTheFirstThreeNumbersOrSaysWhatIsMissing) {
  const ScanCase cases[] = {
      {"La flotte am\xe8ne 12.345 unit\xe9s de m\xe9tal, 6.789 et 1.234 deut\xe9rium.\n",
       "12345 Metal, 6789 Cristal, 1234 Deuterium.\n"
       "Total : Metal=12345, Cristal=6789, Deuterium=1234\n\n"},
      {"1 2 3 4 5\n",
       "1 Metal, 2 Cristal, 3 Deuterium.\nTotal : Metal=1, Cristal=2, Deuterium=3\n\n"},
      {"le 3 et 4\n",
       "3 Metal, 4 Cristal, ERROR : la ligne ne peut etre lu : \"le 3 et 4\n\"\n"
       "WARNING : seul 2 nombre a ete lu !!\nTotal : Metal=3, Cristal=4, Deuterium=0\n\n"},
      {"x9",
       "9 Metal, ERROR : la ligne ne peut etre lu : \"x9\"\n"
       "WARNING : seul 1 nombre a ete lu !!\nTotal : Metal=9, Cristal=0, Deuterium=0\n\n"},
      {"\n",
       "ERROR : la ligne ne peut etre lu : \"\n\"\n"
       "WARNING : seul 0 nombre a ete lu !!\nTotal : Metal=0, Cristal=0, Deuterium=0\n\n"},
      {"",
       "ERROR : la ligne ne peut etre lu : \"\"\n"
       "WARNING : seul 0 nombre a ete lu !!\nTotal : Metal=0, Cristal=0, Deuterium=0\n\n"},
      {"[1:2:3]\r\n",
       "1 Metal, 2 Cristal, 3 Deuterium.\nTotal : Metal=1, Cristal=2, Deuterium=3\n\n"},
      {"a1..2.3 4\n",
       "1 Metal, 23 Cristal, 4 Deuterium.\nTotal : Metal=1, Cristal=23, Deuterium=4\n\n"},
      {"1.234.567.890.123.456.789 1.000.000.000.000.000.000.000.000 07\n",
       "1234567890123456789 Metal, 2003764205206896640 Cristal, 7 Deuterium.\n"
       "Total : Metal=1234567890123456789, Cristal=2003764205206896640, Deuterium=7\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ResourceTotals totals;
    const std::string echo = EchoOf(FindIntValues, c.line, totals);
    EXPECT_EQ(echo, c.echo);
    if (!c.line.empty()) {  // and the reading finds the same numbers as the scanner
      EXPECT_EQ(ReadAll(c.line).echo, c.echo);
    }
  }
}

TEST(FindIntValues, EchoesNumbersOfEveryLengthInPlainDecimal) {
  std::vector<std::uint64_t> values = {0, 18446744073709551615u};
  for (std::uint64_t power = 1; power <= 1000000000000000000u; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1, 7 * power + 3});
  }
  for (const auto value : values) {
    const auto text = std::to_string(value);
    ResourceTotals totals{value, 1, value};
    const std::string line = text + " 0 0" + text + "\n";
    const std::string echo = EchoOf(FindIntValues, line, totals);
    EXPECT_EQ(ReadAll(line).echo.substr(0, echo.find("Total")), echo.substr(0, echo.find("Total")));
    const auto total = std::to_string(value + value);
    EXPECT_EQ(echo, text + " Metal, 0 Cristal, " + text + " Deuterium.\nTotal : Metal=" + total +
                        ", Cristal=1, Deuterium=" + total + "\n\n");
  }
}

TEST(FindIntValues, TellsDigitsFromEveryOtherByteWherever) {
  std::string others;
  for (int byte = 0; byte < 256; ++byte) {
    if (byte < '0' || byte > '9') {
      others += static_cast<char>(byte);
    }
  }
  for (std::size_t offset = 0; offset + 40 < others.size(); ++offset) {
    const std::string filler = others.substr(offset, offset % 19);
    const std::string line = filler + "4 " + filler + "5 " + others.substr(offset, 40) + "6";
    SCOPED_TRACE(offset);
    ResourceTotals totals;
    const std::string echo = EchoOf(FindIntValues, line, totals);
    EXPECT_EQ(totals.metal, 4u);
    EXPECT_EQ(totals.crystal, 5u);
    EXPECT_EQ(totals.deuterium, 6u);
  }
}

TEST(FindIntValues, KeepsNulBytesAndLongLinesWholeInTheEcho) {
  const std::string line = std::string("a\0b", 3) + std::string(300, 'x') + " 5\n";
  ResourceTotals totals;
  const std::string echo = EchoOf(FindIntValues, line, totals);
  EXPECT_EQ(echo, "5 Metal, ERROR : la ligne ne peut etre lu : \"" + line +
                      "\"\nWARNING : seul 1 nombre a ete lu !!\n"
                      "Total : Metal=5, Cristal=0, Deuterium=0\n\n");
}

TEST(FindIntValues, AddsToTheRunningTotalsWithWrapAround) {
  ResourceTotals totals{18446744073709551615u, 10, 20};
  const std::string echo = EchoOf(FindIntValues, "2 3 4", totals);
  EXPECT_EQ(totals.metal, 1u);
  EXPECT_EQ(totals.crystal, 13u);
  EXPECT_EQ(totals.deuterium, 24u);
  EXPECT_EQ(echo,
            "2 Metal, 3 Cristal, 4 Deuterium.\nTotal : Metal=1, Cristal=13, Deuterium=24\n\n");
}

constexpr std::string_view kDeuteriumLine =
    "[img]http://elsewhere.example/img105/5311/deutym6.png[/img] 1.234[/color][/center]";

TEST(ReadLine, CountsNothingOnTheLinesOfAnEarlierBlock) {
  const std::string_view block_lines[] = {
      "[center][color=#00ff00][img]http://h/img301/3650/rentaiw0.png[/img]\n",
      "[img]http://h/img451/3976/metalic2.png[/img] 12.345\n",
      "[img]http://h/img217/1948/cristalrd2.png[/img] 6.789\r\n",
      kDeuteriumLine,
      "http://h/img451/3976/metalic2.png[/img] 12.345\n",  // its opening tag lost in an edit
  };
  for (const auto line : block_lines) {
    SCOPED_TRACE(line);
    ResourceTotals totals;
    const std::string echo = EchoOf(ReadLine, line, totals);
    EXPECT_EQ(echo, "");
    EXPECT_EQ(totals.metal + totals.crystal + totals.deuterium, 0u);
    EXPECT_EQ(ReadAll(line).echo, "");  // and the reading knows it too
  }
}

TEST(ReadLine, ScansWhatFollowsTheBlockOnItsLastLineAsAReport) {
  ResourceTotals totals;
  const std::string echo = EchoOf(
      ReadLine, std::string(kDeuteriumLine) + "Flotte : 4.000 m\xe9tal, 5 cristal, 6\n", totals);
  EXPECT_EQ(echo,
            "4000 Metal, 5 Cristal, 6 Deuterium.\nTotal : Metal=4000, Cristal=5, Deuterium=6\n\n");

  EXPECT_EQ(EchoOf(ReadLine, std::string(kDeuteriumLine) + "\r\n", totals), "");
  EXPECT_EQ(EchoOf(ReadLine, std::string(kDeuteriumLine) + "\n", totals), "");
}

TEST(ReadLine, ScansLinesThatOnlyLookLikeBlockLines) {
  const std::string_view lookalikes[] = {
      "[img]http://h/img451/3976/metalic3.png[/img] 7\n",  // another picture
      "voir /img451/3976/metalic2.png 7\n",                // no closing tag after the path
      "[/img] /img451/3976/metalic2.png\n",                // closing tag before the path
  };
  for (const auto line : lookalikes) {
    SCOPED_TRACE(line);
    ResourceTotals read_totals;
    ResourceTotals scanned_totals;
    EXPECT_EQ(EchoOf(ReadLine, line, read_totals), EchoOf(FindIntValues, line, scanned_totals));
    EXPECT_EQ(read_totals.metal, 451u);
  }
}

TEST(ReadReport, ReadsLinesCarriedAcrossReadsWhole) {
  const std::string long_line = std::string(300000, 'x') + " 1.234 5 6\n";
  const std::string data = "1 2.\n3 4\n" + long_line + "7 8 9 \n\n10.000";
  const WholeRead whole = ReadAll(data);
  EXPECT_EQ(whole.totals.metal, 1 + 3 + 1234 + 7 + 10000U);
  EXPECT_EQ(whole.totals.crystal, 2 + 4 + 5 + 8U);
  EXPECT_EQ(whole.totals.deuterium, 6 + 9U);
  EXPECT_EQ(whole.outcome.bytes_read, data.size());
  for (const std::size_t piece : {1U, 2U, 7U, 4096U, 131073U}) {
    SCOPED_TRACE(piece);
    ExpectSameRead(ReadAll(data, piece), whole);
  }
}

// A Windows text file's CR LF reads as LF; elsewhere its CR is a byte of the line.
TEST(ReadReport, ReadsLineEndsAsTheSystemsTextFilesHaveThem) {
  constexpr std::string_view kData = "1 2 3\r\n4\r\n\r";
  const std::string_view kEchoEnd =
      "WARNING : seul 1 nombre a ete lu !!\nTotal : Metal=5, Cristal=2, Deuterium=3\n\n"
      "ERROR : la ligne ne peut etre lu : \"\r\"\n"
      "WARNING : seul 0 nombre a ete lu !!\nTotal : Metal=5, Cristal=2, Deuterium=3\n\n";
  const std::string_view kEchoStart =
      "1 Metal, 2 Cristal, 3 Deuterium.\nTotal : Metal=1, Cristal=2, Deuterium=3\n\n"
      "4 Metal, ERROR : la ligne ne peut etre lu : \"4";
  EXPECT_EQ(ReadAll(kData, 1, kWindowsLineEnds).echo,
            std::string(kEchoStart) + "\n\"\n" + std::string(kEchoEnd));
  EXPECT_EQ(ReadAll(kData, 1, kUnixLineEnds).echo,
            std::string(kEchoStart) + "\r\n\"\n" + std::string(kEchoEnd));
}

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string bytes;
  for (const char16_t unit : text) {
    const auto high = static_cast<char>(unit >> 8U);
    const auto low = static_cast<char>(unit & 0xFFU);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(ReadReport, ReadsAUtf16FileAsTheSameTextInUtf8) {
  const std::u16string text =
      u"\uFEFFZo\u00E9 rapporte 12.345 m\u00E9tal, 6.789 \U0001F48E\r\n"
      u"1 \u20AC\n\n7 8 9";
  const WholeRead utf8 = ReadAll(
      "\xEF\xBB\xBFZo\xC3\xA9 rapporte 12.345 m\xC3\xA9tal, 6.789 \xF0\x9F\x92\x8E\r\n"
      "1 \xE2\x82\xAC\n\n7 8 9");
  for (const bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian);
    for (const std::size_t piece : {1U, 3U, 4096U}) {
      SCOPED_TRACE(piece);
      const WholeRead read = ReadAll(Utf16(text, big_endian), piece);
      ExpectSameRead(read, utf8);
      EXPECT_EQ(read.outcome.encoding,
                big_endian ? TextEncoding::kUtf16BigEndian : TextEncoding::kUtf16LittleEndian);
    }
  }
}

TEST(ReadReport, ShowsAnUnpairedSurrogateAsTheReplacementCharacter) {
  const char16_t text[] = {0xFEFF, 'a', 0xD800, 'b', 0xDC00, '1', 0xD83D, 0};
  const WholeRead read = ReadAll(Utf16(std::u16string_view(text, 7), false));
  ExpectSameRead(read, ReadAll("\xEF\xBB\xBF"
                               "a\xEF\xBF\xBD"
                               "b\xEF\xBF\xBD"
                               "1\xEF\xBF\xBD"));
}

TEST(ReadReport, TellsAFileThatIsNotText) {
  for (const std::string_view data : {std::string_view("1 2 3\0\n", 7),
                                      std::string_view("\xFF\xFE"
                                                       "1\0\0\0",
                                                       6),
                                      std::string_view("\xFE\xFF\0"
                                                       "1\0",
                                                       5)}) {
    SCOPED_TRACE(testing::PrintToString(data));
    EXPECT_TRUE(ReadAll(data).outcome.not_text);
  }
  EXPECT_FALSE(ReadAll(std::string_view("\xFF\xFE"
                                        "1\0",
                                        4))
                   .outcome.not_text);
}

// A block cut at any byte, by a full disk or a power cut, counts nothing in a later run, and its
// cut line shows nothing; a report on the next line counts as always.
TEST(ReadReport, CountsNothingOnABlockCutShortAnywhere) {
  for (const std::string_view line_end : {"\n", "\r\n"}) {
    std::string block;
    PrintFormated(block, line_end, 12345, 6789, 1234);
    for (std::size_t cut = 0; cut <= block.size(); ++cut) {
      SCOPED_TRACE(testing::Message() << cut << " bytes of " << testing::PrintToString(block));
      const std::string_view kept(block.data(), cut);
      const std::string_view whole_lines = kept.substr(0, kept.rfind('\n') + 1);
      // A cut between a CR and its LF leaves a line end, not a line.
      const std::string_view cut_line = kept.substr(whole_lines.size());
      const bool cut_in_a_line = !cut_line.empty() && cut_line != "\r";
      const WholeRead read = ReadAll("1 2 3\n" + std::string(kept) + "\n4 5 6\n");
      const std::string without_cut_line =
          cut_in_a_line ? std::string(whole_lines) : std::string(kept) + "\n";
      ExpectSameRead(read, ReadAll("1 2 3\n" + without_cut_line + "4 5 6\n"));
      EXPECT_EQ(read.totals.metal, 5U);
      EXPECT_EQ(read.totals.crystal, 7U);
      EXPECT_EQ(read.totals.deuterium, 9U);
    }
  }
}

}  // namespace
