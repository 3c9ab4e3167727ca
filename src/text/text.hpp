// Text: the encodings the program reads reports in and shows them in (UTF-8, UTF-16 with its
// byte-order mark, Windows-1252 for bytes that are not UTF-8), line ends, and digits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// How a report file's text is stored; its block is appended the same way.
enum class TextEncoding { kBytes, kUtf16LittleEndian, kUtf16BigEndian };

// How the lines of a text file end: whether a CR LF reads as LF, as a Windows text-mode read
// gives it, and what is written for LF.
struct LineEnds {
  bool crlf_reads_as_lf = false;
  std::string_view written = "\n";
};

inline constexpr LineEnds kUnixLineEnds{false, "\n"};
inline constexpr LineEnds kWindowsLineEnds{true, "\r\n"};

// The encoding that a file's first two bytes tell by a UTF-16 byte-order mark, or kBytes.
TextEncoding EncodingOf(std::string_view first_two_bytes);

// The line as read with `line_ends`: a CR LF end that reads as LF is made LF, in place. Inline:
// the reading calls it for every line.
inline std::string_view AsTextLine(char* start, std::size_t length, const LineEnds& line_ends) {
  if (line_ends.crlf_reads_as_lf && length >= 2 && start[length - 2] == '\r' &&
      start[length - 1] == '\n') {
    start[length - 2] = '\n';
    --length;
  }
  return {start, length};
}

// The value of an ASCII digit, in 64 bits for the arithmetic it goes into; 10 or more for any
// other byte.
constexpr std::uint64_t DigitValue(char character) {
  return static_cast<unsigned char>(character) - std::uint64_t{'0'};
}

// True for what is left of a line once its text is gone: nothing, LF or CR LF.
bool IsLineEnd(std::string_view text);

std::string_view WithoutLineEnd(std::string_view line);

// The longest UTF-8 sequence: what DecodeUtf16 may write for one character.
inline constexpr std::size_t kMaxUtf8Length = 4;

// Decodes UTF-16 to UTF-8 as its bytes come, in pieces cut anywhere; a surrogate left unpaired
// becomes U+FFFD.
struct Utf16Decoder {
  bool big_endian = false;
  int pending_byte = -1;        // the first byte of a code unit whose second has not come yet
  char16_t high_surrogate = 0;  // the first half of a character, waiting for its second
};

// Decodes `raw` at `out`, at most 3 bytes for every 2 of `raw`, and 3 more for a surrogate left
// unpaired before them; returns the end of what it wrote.
char* DecodeUtf16(Utf16Decoder& decoder, std::string_view raw, char* out);

// At the end of the text: writes U+FFFD for a surrogate still unpaired; returns the end of what
// it wrote, and false in `whole` when an odd byte was left over.
char* FinishUtf16(Utf16Decoder& decoder, char* out, bool& whole);

// `utf8` in `encoding`, without a byte-order mark; an invalid byte becomes U+FFFD in UTF-16.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

// The characters a Windows console shows for `bytes`, the next piece of one stream's output, in
// UTF-16: each valid UTF-8 sequence as its character, and any other byte as its Windows-1252
// character, so that reports saved in UTF-8 and in "ANSI" both show their accents. Overlong
// forms, surrogates and values past U+10FFFF are not valid UTF-8. The five bytes Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) show as U+FFFD, as a C1 control character
// would show nothing, or act on the terminal. `unfinished` carries, from one piece to the next,
// the start of a UTF-8 sequence that a piece ends with: it is read before `bytes`, and is left
// holding the start of a sequence that `bytes` ends with (at most three bytes), or nothing.
std::u16string ConsoleText(std::string_view bytes, std::string& unfinished);

// How a terminal takes text: in UTF-8, or in an 8-bit character set, of which `upper_half` holds
// the characters of the bytes 0xA0 to 0xFF (0 for a byte that stands for none); its lower half is
// ASCII. Its bytes 0x80 to 0x9F are never written, since such a terminal takes them as C1
// controls (0x9B starts a control sequence).
struct TerminalCharset {
  bool eight_bit = false;
  std::array<char32_t, 0x60> upper_half{};
};

// The most bytes WriteTerminalText hands over at a time.
inline constexpr std::size_t kTerminalPiece = 4096;

// Takes a piece of a terminal's text; false when it could not be written.
using TerminalSink = std::function<bool(std::string_view piece)>;

// Gives `write` what a terminal is given for `bytes`, a piece of output that holds whole lines,
// so that the control characters of a report's text show as symbols and never act on it: the
// Unicode control picture of a C0 control or of DEL (␛ for ESC), and U+FFFD for a C1 control, in
// UTF-8 or as a byte that is not part of UTF-8. A tab and line ends (LF, and a CR right before
// one) stay as they are, and so does every other byte. In an 8-bit character set, each character
// that is not ASCII is written as the byte that stands for it, or as '?' where none does; a byte
// that is not part of UTF-8 stays as it is, a character of the terminal's own. The text is made
// in pieces of at most kTerminalPiece bytes, in memory of its own, whatever the size of `bytes`;
// returns false, having stopped, when `write` does.
bool WriteTerminalText(std::string_view bytes, const TerminalCharset& charset,
                       const TerminalSink& write);

// Shows the control characters of a console's text, ConsoleText's, as WriteTerminalText shows
// them.
void ShowControls(std::u16string& text);
