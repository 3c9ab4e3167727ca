#include "text/text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

namespace {

struct Piece {
  std::string_view bytes;
  std::u16string_view shown;
};

TEST(ConsoleText, ShowsUtf8AsItsCharactersAndAnyOtherByteAsWindows1252) {
  const Piece cases[] = {
      {"Zo\xC3\xA9 a 12.345 m\xC3\xA9tal\n", u"Zoé a 12.345 métal\n"},
      {"\xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", u"€ \U0001F600 \U0010FFFF"},
      {"Zo\xE9 \x80 \x9C\x9F \x8A\xFF", u"Zoé € œŸ Šÿ"},
      // Bytes that Windows-1252 leaves undefined.
      {"\x81\x8D\x8F\x90\x9D", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      // Overlong forms, surrogates, past U+10FFFF, lone continuation bytes, a lead byte
      // followed by one that cannot continue it: each byte for itself.
      {"\xC0\xAF \xC1\xBF", u"À¯ Á¿"},
      {"\xE0\x80\xAF", u"à€¯"},
      {"\xF0\x8F\xBF\xBF", u"ð\uFFFD¿¿"},
      {"\xED\xA0\x80", u"í\u00A0€"},
      {"\xF4\x90\x80\x80 \xF5\x80\x80\x80", u"ô\uFFFD€€ õ€€€"},
      {"\xA9\xBF", u"©¿"},
      {"\xC3\x41 \xE2\x82\x41 \xC3\xC3\xA9", u"ÃA â‚A Ãé"},
  };
  for (const auto& [bytes, shown] : cases) {
    SCOPED_TRACE(bytes);
    std::string unfinished;
    EXPECT_EQ(ConsoleText(bytes, unfinished), shown);
    EXPECT_EQ(unfinished, "");
  }
}

TEST(ConsoleText, FinishesASequenceCutBetweenTwoPieces) {
  const Piece cases[][2] = {
      {{"Zo\xC3", u"Zo"}, {"\xA9\n", u"é\n"}},
      {{"\xE2", u""}, {"\x82\xAC", u"€"}},
      {{"\xE2\x82", u""}, {"\xAC", u"€"}},
      {{"a\xF0\x9F\x98", u"a"}, {"\x80z", u"\U0001F600z"}},
      // What cannot continue the cut sequence shows it byte by byte.
      {{"\xE2\x82", u""}, {"A", u"â‚A"}},
      {{"\xC3", u""}, {"\xC3\xA9", u"Ãé"}},
      {{"\xF0\x9F", u""}, {"\n", u"ðŸ\n"}},
  };
  for (const auto& [first, second] : cases) {
    SCOPED_TRACE(std::string(first.bytes) + "|" + std::string(second.bytes));
    std::string unfinished;
    EXPECT_EQ(ConsoleText(first.bytes, unfinished), first.shown);
    EXPECT_EQ(ConsoleText(second.bytes, unfinished), second.shown);
    EXPECT_EQ(unfinished, "");
  }
}

// What a terminal is given for `bytes`, and the pieces it is handed in.
std::string Shown(std::string_view bytes, const TerminalCharset& charset = {}) {
  std::string shown;
  const bool written = WriteTerminalText(bytes, charset, [&shown](std::string_view piece) {
    EXPECT_LE(piece.size(), kTerminalPiece);
    shown.append(piece);
    return true;
  });
  EXPECT_TRUE(written);
  return shown;
}

// Tab and line ends stay; C0 controls, DEL and C1 controls, as UTF-8 or as lone bytes, show as
// symbols; every other byte, valid UTF-8 or not, stays.
TEST(WriteTerminalText, ShowsControlCharactersAsSymbols) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"a\tb\n", "a\tb\n"},
      {"\x1B[2K 1\r\n", "\u241B[2K 1\r\n"},
      {"a\rb\x7F\x07\x01\x1F", "a\u240Db\u2421\u2407\u2401\u241F"},
      {"\xC2\x9B\x9B\xC2\x80 \xC3\xA9 \xE2\x82\xAC \xE9\xC3",
       "\uFFFD\uFFFD\uFFFD \u00E9 \u20AC \xE9\xC3"},
  };
  for (const auto& [bytes, shown] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(Shown(bytes), shown);
  }
}

// ISO-8859-15: Latin-1 but for eight characters, the euro sign in place of the currency sign.
TEST(WriteTerminalText, WritesAnEightBitTerminalsCharactersAndNoC1Byte) {
  TerminalCharset latin9{true, {}};
  for (char32_t character = 0xA0; character <= 0xFF; ++character) {
    latin9.upper_half.at(character - 0xA0) = character;
  }
  latin9.upper_half[0xA4 - 0xA0] = U'\u20AC';
  const std::string_view bytes =
      "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xC2\xA4 \xE8\x1B[8m\xC2\x9B\x9B\x85\n";
  EXPECT_EQ(Shown(bytes, latin9), "\xE9t\xE9 \xA4 ? \xE8?[8m???\n");
}

TEST(WriteTerminalText, HandsALongTextOverInBoundedPiecesAndStopsWhenAWriteFails) {
  const std::string escapes(3 * kTerminalPiece, '\x1B');
  std::string pictures;
  for (std::size_t i = 0; i < escapes.size(); ++i) {
    pictures += "\u241B";
  }
  EXPECT_EQ(Shown(escapes), pictures);
  int pieces = 0;
  EXPECT_FALSE(
      WriteTerminalText(escapes, {}, [&pieces](std::string_view) { return ++pieces < 2; }));
  EXPECT_EQ(pieces, 2);
}

TEST(ShowControls, ShowsAConsolesControlCharactersAsSymbols) {
  std::string unfinished;
  std::u16string text = ConsoleText("\x1B[8m\ta\rb\x7F\xC2\x9B\x9B\r\n", unfinished);
  ShowControls(text);
  EXPECT_EQ(text, u"\u241B[8m\ta\u240Db\u2421\uFFFD\u203A\r\n");
}

TEST(EncodeText, WritesUtf8InEitherUtf16ByteOrder) {
  const std::string_view text = "a\xC3\xA9\xF0\x9F\x98\x80\xFF\n";
  EXPECT_EQ(EncodeText(text, TextEncoding::kBytes), text);
  EXPECT_EQ(EncodeText(text, TextEncoding::kUtf16LittleEndian),
            std::string("a\0\xE9\0\x3D\xD8\x00\xDE\xFD\xFF\n\0", 12));
  EXPECT_EQ(EncodeText(text, TextEncoding::kUtf16BigEndian),
            std::string("\0a\0\xE9\xD8\x3D\xDE\x00\xFF\xFD\0\n", 12));
}

}  // namespace
