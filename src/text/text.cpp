#include "text/text.hpp"

#include <algorithm>
#include <array>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char16_t kNoCharacter = u'\uFFFD';

// Windows-1252's characters for 0x80 to 0x9F; the rest of its upper half is Latin-1's.
// clang-format off
constexpr std::array<char16_t, 32> kWindows1252From80 = {
    u'\u20AC', kNoCharacter, u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', kNoCharacter, u'\u017D', kNoCharacter,
    kNoCharacter, u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', kNoCharacter, u'\u017E', u'\u0178'};
// clang-format on

char16_t Windows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252From80.at(byte - 0x80U) : char16_t{byte};
}

// What the UTF-8 at the start of a text holds: a character of `length` bytes, no character
// (length 0: the first byte stands alone), or the start of one that the text ends too early for.
struct Utf8Sequence {
  char32_t character = 0;
  std::size_t length = 0;
  bool unfinished = false;
};

// The length of the sequence that `lead` starts (0 when it starts none), and the range of its
// second byte, which rules out overlong forms, surrogates and values past U+10FFFF.
struct Utf8Lead {
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
};

Utf8Lead ReadLead(unsigned char lead) {
  if (lead < 0x80) {
    return {1};
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return {2};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return {3, lead == 0xE0 ? 0xA0U : 0x80U, lead == 0xED ? 0x9FU : 0xBFU};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return {4, lead == 0xF0 ? 0x90U : 0x80U, lead == 0xF4 ? 0x8FU : 0xBFU};
  }
  return {};
}

Utf8Sequence ReadUtf8(std::string_view text) {
  const auto lead_byte = static_cast<unsigned char>(text[0]);
  const Utf8Lead lead = ReadLead(lead_byte);
  if (lead.length == 0) {
    return {};
  }
  char32_t character = lead_byte & (lead.length == 1 ? 0x7FU : 0x7FU >> lead.length);
  for (std::size_t i = 1; i < lead.length; ++i) {
    if (i == text.size()) {
      return {0, 0, true};
    }
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < (i == 1 ? lead.low : 0x80U) || byte > (i == 1 ? lead.high : 0xBFU)) {
      return {};
    }
    character = (character << 6U) | (byte & 0x3FU);
  }
  return {character, lead.length};
}

char* PutUtf8(char* out, char32_t code) {
  const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
  if (code < 0x80) {
    *out++ = byte(code);
  } else if (code < 0x800) {
    *out++ = byte(0xC0 | (code >> 6U));
    *out++ = byte(0x80 | (code & 0x3FU));
  } else if (code < 0x10000) {
    *out++ = byte(0xE0 | (code >> 12U));
    *out++ = byte(0x80 | ((code >> 6U) & 0x3FU));
    *out++ = byte(0x80 | (code & 0x3FU));
  } else {
    *out++ = byte(0xF0 | (code >> 18U));
    *out++ = byte(0x80 | ((code >> 12U) & 0x3FU));
    *out++ = byte(0x80 | ((code >> 6U) & 0x3FU));
    *out++ = byte(0x80 | (code & 0x3FU));
  }
  return out;
}

void PutUtf16(std::u16string& text, char32_t character) {
  if (character < 0x10000) {
    text += static_cast<char16_t>(character);
  } else {
    character -= 0x10000;
    text += static_cast<char16_t>(0xD800 + (character >> 10U));
    text += static_cast<char16_t>(0xDC00 + (character & 0x3FFU));
  }
}

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit < 0xDC00;
}

bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit < 0xE000;
}

// The character that a high surrogate and the low one after it stand for.
char32_t Pair(char16_t high, char16_t low) {
  constexpr char32_t kFirstAfterBasicPlane = 0x10000;
  return kFirstAfterBasicPlane + ((char32_t{high} - 0xD800U) << 10U) + (char32_t{low} - 0xDC00U);
}

bool IsC1Control(char32_t character) {
  return character >= 0x80 && character < 0xA0;
}

// What a terminal shows for `character`, followed by a line feed or not.
char32_t Visible(char32_t character, bool before_line_feed) {
  constexpr char32_t kControlPictures = 0x2400;  // from ␀ for NUL to ␟ for US
  constexpr char32_t kDeletePicture = 0x2421;
  if (character == '\t' || character == '\n' || (character == '\r' && before_line_feed)) {
    return character;
  }
  if (character < 0x20) {
    return kControlPictures + character;
  }
  if (character == 0x7F) {
    return kDeletePicture;
  }
  return IsC1Control(character) ? kReplacementCharacter : character;
}

bool BeforeLineFeed(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && text[i + 1] == '\n';
}

// The byte that stands for `character` in an 8-bit character set, or '?' when none does.
char InEightBits(char32_t character, const TerminalCharset& charset) {
  if (character < 0x80) {
    return static_cast<char>(character);
  }
  const auto* const found =
      std::find(charset.upper_half.begin(), charset.upper_half.end(), character);
  return found == charset.upper_half.end()
             ? '?'
             : static_cast<char>(0xA0 + (found - charset.upper_half.begin()));
}

// A terminal's text being made: gathered in memory of its own, handed over when full.
struct TerminalPiece {
  const TerminalCharset& charset;
  const TerminalSink& write;
  std::array<char, kTerminalPiece> text{};
  std::size_t used = 0;
};

// Hands over what `piece` gathered; false when it could not be written.
bool Hand(TerminalPiece& piece) {
  const bool written =
      piece.used == 0 || piece.write(std::string_view(piece.text.data(), piece.used));
  piece.used = 0;
  return written;
}

// Adds `bytes`, one character's, to `piece`; false when the text could not be written.
bool Add(TerminalPiece& piece, std::string_view bytes) {
  if (piece.used + bytes.size() > piece.text.size() && !Hand(piece)) {
    return false;
  }
  std::copy(bytes.begin(), bytes.end(),
            piece.text.begin() + static_cast<std::ptrdiff_t>(piece.used));
  piece.used += bytes.size();
  return true;
}

// Adds `character` to `piece`, in the terminal's character set.
bool Add(TerminalPiece& piece, char32_t character) {
  std::array<char, kMaxUtf8Length> bytes{};
  if (piece.charset.eight_bit) {
    bytes[0] = InEightBits(character, piece.charset);
    return Add(piece, std::string_view(bytes.data(), 1));
  }
  return Add(piece, std::string_view(bytes.data(), PutUtf8(bytes.data(), character)));
}

}  // namespace

TextEncoding EncodingOf(std::string_view first_two_bytes) {
  if (first_two_bytes == "\xFF\xFE") {
    return TextEncoding::kUtf16LittleEndian;
  }
  if (first_two_bytes == "\xFE\xFF") {
    return TextEncoding::kUtf16BigEndian;
  }
  return TextEncoding::kBytes;
}

bool IsLineEnd(std::string_view text) {
  return text.empty() || text == "\n" || text == "\r\n";
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) {
    line.remove_suffix(1);
  }
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  return line;
}

char* DecodeUtf16(Utf16Decoder& decoder, std::string_view raw, char* out) {
  for (const char byte : raw) {
    if (decoder.pending_byte < 0) {
      decoder.pending_byte = static_cast<unsigned char>(byte);
      continue;
    }
    const auto first = static_cast<unsigned>(decoder.pending_byte);
    const auto second = unsigned{static_cast<unsigned char>(byte)};
    const auto unit =
        static_cast<char16_t>(decoder.big_endian ? first << 8U | second : second << 8U | first);
    decoder.pending_byte = -1;
    if (decoder.high_surrogate != 0 && IsLowSurrogate(unit)) {
      out = PutUtf8(out, Pair(decoder.high_surrogate, unit));
      decoder.high_surrogate = 0;
      continue;
    }
    if (decoder.high_surrogate != 0) {
      out = PutUtf8(out, kReplacementCharacter);
      decoder.high_surrogate = 0;
    }
    if (IsHighSurrogate(unit)) {
      decoder.high_surrogate = unit;
    } else {
      out = PutUtf8(out, IsLowSurrogate(unit) ? kReplacementCharacter : char32_t{unit});
    }
  }
  return out;
}

char* FinishUtf16(Utf16Decoder& decoder, char* out, bool& whole) {
  whole = decoder.pending_byte < 0;
  if (decoder.high_surrogate != 0) {
    out = PutUtf8(out, kReplacementCharacter);
    decoder.high_surrogate = 0;
  }
  return out;
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
  if (encoding == TextEncoding::kBytes) {
    return std::string(utf8);
  }
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Sequence sequence = ReadUtf8(utf8.substr(i));
    PutUtf16(units, sequence.length == 0 ? kReplacementCharacter : sequence.character);
    i += sequence.length == 0 ? 1 : sequence.length;
  }
  std::string encoded;
  encoded.reserve(2 * units.size());
  const bool big_endian = encoding == TextEncoding::kUtf16BigEndian;
  for (const char16_t unit : units) {
    const auto high = static_cast<char>(unit >> 8U);
    const auto low = static_cast<char>(unit & 0xFFU);
    encoded.append(big_endian ? std::initializer_list<char>{high, low}
                              : std::initializer_list<char>{low, high});
  }
  return encoded;
}

std::u16string ConsoleText(std::string_view bytes, std::string& unfinished) {
  const std::string text = unfinished + std::string(bytes);
  unfinished.clear();
  std::u16string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::string_view rest = std::string_view(text).substr(i);
    const Utf8Sequence sequence = ReadUtf8(rest);
    if (sequence.unfinished) {
      unfinished = rest;  // the next piece may finish it
      break;
    }
    if (sequence.length == 0) {
      shown += Windows1252(static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      PutUtf16(shown, sequence.character);
      i += sequence.length;
    }
  }
  return shown;
}

bool WriteTerminalText(std::string_view bytes, const TerminalCharset& charset,
                       const TerminalSink& write) {
  TerminalPiece piece{charset, write};
  for (std::size_t i = 0; i < bytes.size();) {
    const Utf8Sequence sequence = ReadUtf8(bytes.substr(i));
    const bool lone_byte = sequence.length == 0;
    const char32_t character =
        lone_byte ? char32_t{static_cast<unsigned char>(bytes[i])} : sequence.character;
    const std::size_t length = lone_byte ? 1 : sequence.length;
    const char32_t visible = lone_byte && !IsC1Control(character)
                                 ? character
                                 : Visible(character, BeforeLineFeed(bytes, i));
    const bool as_it_is =
        visible == character && (lone_byte || character < 0x80 || !charset.eight_bit);
    if (!(as_it_is ? Add(piece, bytes.substr(i, length)) : Add(piece, visible))) {
      return false;
    }
    i += length;
  }
  return Hand(piece);
}

void ShowControls(std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool before_line_feed = i + 1 < text.size() && text[i + 1] == u'\n';
    text[i] = static_cast<char16_t>(Visible(text[i], before_line_feed));
  }
}
