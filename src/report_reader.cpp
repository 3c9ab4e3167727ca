#include "report_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include "byte_masks.hpp"
#include "forum_block.hpp"
#include "messages.hpp"
#include "report_file.hpp"
#include "result_output.hpp"

namespace {

constexpr std::array<std::string_view, 3> kAmountLabels = {" Metal, ", " Cristal, ",
                                                           " Deuterium.\n"};

// Bytes read at a time.
constexpr std::size_t kReadSize = std::size_t{128} * 1024;

// Reads land at the same place within a page of memory as their bytes have within the file's
// pages, which lets the system copy them fastest.
constexpr std::size_t kPageSize = 4096;

// The bytes past the text that the reading may look at: the byte masks take 64 bytes at a time,
// and a number's first digits are copied 24 bytes at a time. They hold zeros, which end any
// number.
constexpr std::size_t kLookAhead = 64;

// Lines up to this long are copied into the echo; longer ones go to the sink as they are.
constexpr std::size_t kCopiedLineSize = 4096;

// Bytes copied for the digits before a number's first dot, whatever their count, and for the three
// of a group: they lie within the text and its look-ahead, and what is written next covers those
// past the number.
constexpr std::size_t kLeadingCopy = 24;
constexpr std::size_t kGroupCopy = 4;
static_assert(kLeadingCopy >= kMaxDecimalLength && kLeadingCopy <= kLookAhead);

// The room of a number in the echo: its copied digits', where the second of two groups copied at
// once starts 3 bytes past a count that may stand at kMaxDecimalLength, or its digit writer's.
constexpr std::size_t kNumberEchoRoom =
    std::max({kLeadingCopy, kMaxDecimalLength + 3 + kGroupCopy, kDecimalRoom});

// The echo of one line, but for the line itself: its amounts, each written in its room, the
// messages and the totals line, and the 3 bytes past its end that the digit writer may write.
constexpr std::size_t kMaxLineEcho = 512;
static_assert(kMaxLineEcho >= 3 * (kNumberEchoRoom + kAmountLabels[1].size()) +
                                  kLineNotRead.size() + kLineNotReadEnd.size() +
                                  kNumbersRead.size() + kDecimalRoom + kNumbersReadEnd.size() + 10 +
                                  kMaxTotalsLength + 3);

// The value of a digit, in 64 bits for the arithmetic it goes into; 10 or more for any other
// byte.
std::uint64_t DigitValue(char byte) {
  return static_cast<unsigned char>(byte) - std::uint64_t{'0'};
}

bool IsDigit(char byte) {
  return DigitValue(byte) < 10;
}

// The index of the first digit at or after `position`, or the line's size when there is none.
std::size_t FindDigit(std::string_view line, std::size_t position) {
  const auto* const digit =
      std::find_if(line.begin() + static_cast<std::ptrdiff_t>(position), line.end(), IsDigit);
  return static_cast<std::size_t>(digit - line.begin());
}

// A number read and echoed: its value, and where its echo ends.
struct EchoedNumber {
  std::uint64_t value = 0;
  char* end = nullptr;
};

// Adds the digits at `text` to `value`; returns where they end.
const char* ReadDigits(const char* text, std::uint64_t& value) {
  for (std::uint64_t digit = 0; (digit = DigitValue(*text)) < 10; ++text) {
    value = value * 10 + digit;  // wraps past 2^64 - 1
  }
  return text;
}

// The tests below take four or eight bytes of the text as one word (LoadWord), a byte at a time:
// the digits that start a number, or those of the groups after a dot ("12.345.678").

// The bytes of `word` that are no digit, up to the first one, marked by their high bit: it is set
// in `word` less '0' (a byte below '0', or from 0x80 to 0xFF) or in `word` plus 0x46 (above '9',
// up to 0xB9). What a byte borrows from or carries into the next one only changes bytes after a
// byte that is no digit.
template <typename Word>
Word NotDigitMarks(Word word) {
  return ((word - EveryByte<Word>('0')) | (word + EveryByte<Word>(0x46))) & EveryByte<Word>(0x80);
}

// How many digits `word` starts with, 4 when it holds no other byte.
unsigned LeadingDigits(std::uint32_t word) {
  return static_cast<unsigned>(std::countr_zero(NotDigitMarks(word))) / 8;
}

// Whether every byte of `word` is a digit but the last, which is not one.
template <typename Word>
bool DigitsThenOther(Word word) {
  return NotDigitMarks(word) == Word{0x80} << (8 * (sizeof(Word) - 1));
}

// Whether `word`, the four bytes after a dot, is a group: three digits and a byte that is not one.
bool IsGroup(std::uint32_t word) {
  return DigitsThenOther(word);
}

// The value of the first `count` digits of `word`, 1 to 3 of them, at once.
std::uint64_t DigitsValue(std::uint32_t word, unsigned count) {
  // Moved so that they end at the third byte, behind zeros.
  const std::uint32_t digits = (word - EveryByte<std::uint32_t>('0')) << (8 * (3 - count));
  return (digits & 0xFFU) * 100 + ((digits >> 8U) & 0xFFU) * 10 + ((digits >> 16U) & 0xFFU);
}

// The dot between two groups, in the eight bytes after the dot before them, made a '0', which
// leaves their digits as eight digits of one number: 0, d1 to d3, 0, d4 to d6.
constexpr std::uint64_t kMiddleDotToZero = std::uint64_t{'.' ^ '0'} << 24U;

// Whether `word`, the eight bytes after a dot, is two groups: three digits, a dot, three digits,
// and a byte that is not one. Amounts of a million or more hold two groups or more.
bool AreTwoGroups(std::uint64_t word) {
  return ((word >> 24U) & 0xFFU) == '.' && DigitsThenOther(word ^ kMiddleDotToZero);
}

// The six digits of the two groups of `word`, as AreTwoGroups takes it, at once: neighbouring
// digits joined in pairs, then pairs in groups.
std::uint64_t TwoGroupsValue(std::uint64_t word) {
  const std::uint64_t digits = ((word ^ kMiddleDotToZero) - EveryByte<std::uint64_t>('0')) << 8U;
  const std::uint64_t pairs = (digits * 10 + (digits >> 8U)) & 0x00FF00FF'00FF00FF;
  const std::uint64_t groups = (pairs * 100 + (pairs >> 16U)) & 0x0000FFFF'0000FFFF;
  return (groups & 0xFFFFU) * 1000 + (groups >> 32U);
}

// Reads the number whose first digit is at `text` as DotedToInt does, and echoes it at `out` in
// plain decimal, in kNumberEchoRoom: its digits are copied as they are read, dots left out, and
// are its echo unless it has a leading zero, too many digits not to wrap, or a dot that no group
// follows, when its value is written over them. The number must be followed, within the text or
// its look-ahead, by a byte that ends it. Inline, in each of the line's three places that read an
// amount: a call saved and restored four registers each time.
inline EchoedNumber EchoNumberAt(const char* text, char* const out) {
  const char* const start = text;
  EchoedNumber number;
  // Up to three leading digits read at once: amounts start with one to three, which a byte
  // loop would end after at places the processor cannot foresee.
  const std::uint32_t leading = LoadWord<std::uint32_t>(text);
  std::memcpy(out, text, kLeadingCopy);
  // The digits copied, counted up to kMaxDecimalLength: there, because the number is too long or
  // its digits are not all copied, its value is written instead.
  std::size_t copied = LeadingDigits(leading);
  if (copied < 4) {
    number.value = DigitsValue(leading, static_cast<unsigned>(copied));
    text += copied;
  } else {
    text = ReadDigits(text, number.value);
    copied = std::min<std::size_t>(static_cast<std::size_t>(text - start), kMaxDecimalLength);
  }
  while (text[0] == '.') {
    const std::uint64_t groups = LoadWord<std::uint64_t>(text + 1);
    if (AreTwoGroups(groups)) {
      number.value = number.value * 1'000'000 + TwoGroupsValue(groups);
      std::memcpy(out + copied, text + 1, kGroupCopy);
      std::memcpy(out + copied + 3, text + 5, kGroupCopy);
      copied = std::min(copied + 6, kMaxDecimalLength);
      text += 8;
      continue;
    }
    const auto group = static_cast<std::uint32_t>(groups);
    if (IsGroup(group)) {
      number.value = number.value * 1000 + DigitsValue(group, 3);
      std::memcpy(out + copied, text + 1, kGroupCopy);
      copied = std::min(copied + 3, kMaxDecimalLength);
      text += 4;
    } else if (IsDigit(text[1])) {
      text = ReadDigits(text + 1, number.value);
      copied = kMaxDecimalLength;
    } else {
      break;
    }
  }
  if (copied == kMaxDecimalLength || ((leading & 0xFFU) == '0' && copied != 1)) {
    number.end = WriteDecimal(out, number.value);
  } else {
    number.end = out + copied;
  }
  return number;
}

// Where the echo gathers: room for `size` more bytes at its end, the gathered echo handed to the
// sink first when it has not that much room left.
char* Room(Echo& echo, std::size_t size) {
  if (echo.used + size > echo.gathered.size()) {
    Flush(echo);
  }
  return echo.gathered.data() + echo.used;
}

// Takes in what was written in Room, up to `end`.
void Commit(Echo& echo, const char* end) {
  echo.used = static_cast<std::size_t>(end - echo.gathered.data());
}

// Whether the line's echo copies the line, which it shows when the line lacks a number.
bool CopiesLine(std::string_view line, std::size_t numbers) {
  return numbers < 3 && line.size() <= kCopiedLineSize;
}

// After the line's amounts, written at `out` in Room of EchoLineRoom: the messages that the line
// lacks some, then the running totals, which `WriteTotalsOf` writes.
template <auto WriteTotalsOf, typename Totals>
void EchoLineEnd(Echo& echo, char* out, std::string_view line, std::size_t numbers,
                 const Totals& totals) {
  if (numbers < 3) {
    out = Put(out, kLineNotRead);
    if (CopiesLine(line, numbers)) {
      out = Put(out, line);
    } else {
      Commit(echo, out);
      Emit(echo, line);
      out = Room(echo, kMaxLineEcho);
    }
    out = Put(Put(out, kLineNotReadEnd), kNumbersRead);
    out = WriteDecimal(out, numbers);
    out = Put(out, kNumbersReadEnd);
  }
  out = Put(out, "Total : ");
  out = WriteTotalsOf(out, totals);
  Commit(echo, Put(out, "\n\n"));
}

// Room for the echo of any line: the same for all, which costs less to make sure of than each
// line's own.
char* LineEchoRoom(Echo& echo) {
  return Room(echo, kMaxLineEcho + kCopiedLineSize);
}

// The line's amounts and the messages that it lacks some, then the running totals, written
// straight into the echo.
void EchoLine(Echo& echo, std::string_view line, const LineAmounts& found,
              const ResourceTotals& totals) {
  char* out = LineEchoRoom(echo);
  for (std::size_t i = 0; i < found.count; ++i) {
    out = Put(WriteDecimal(out, found.amounts.at(i)), kAmountLabels.at(i));
  }
  EchoLineEnd<WriteTotals<WriteDecimal, std::uint64_t>>(
      echo, out, line, found.count, std::array{totals.metal, totals.crystal, totals.deuterium});
}

void AddUp(ResourceTotals& totals, const LineAmounts& found) {
  totals.metal += found.amounts[0];
  totals.crystal += found.amounts[1];
  totals.deuterium += found.amounts[2];
}

struct FreeMemory {
  void operator()(char* memory) const { std::free(memory); }  // NOLINT: grown with realloc
};

// The bytes of the lines being read, from `start` within its memory. It grows by a quarter at a
// time, with realloc, which moves large blocks without copying them, so that a long line is held
// once.
struct LineBuffer {
  std::unique_ptr<char[], FreeMemory> memory;
  std::size_t capacity = 0;
  std::size_t start = 0;
};

char* TextOf(const LineBuffer& buffer) {
  return buffer.memory.get() + buffer.start;
}

// Makes room for `needed` bytes of text and the look-ahead after them; false when the memory left
// cannot hold them.
bool Reserve(LineBuffer& buffer, std::size_t needed) {
  needed += buffer.start + kLookAhead;
  if (needed <= buffer.capacity) {
    return true;
  }
  const std::size_t capacity = std::max(needed, buffer.capacity + buffer.capacity / 4);
  auto* grown = static_cast<char*>(std::realloc(buffer.memory.get(), capacity));  // NOLINT
  if (grown == nullptr) {
    return false;
  }
  static_cast<void>(buffer.memory.release());
  buffer.memory.reset(grown);
  buffer.capacity = capacity;
  return true;
}

// Moves the `size` bytes at `from` in the text, the start of a line whose end has not been read
// yet, to the text's new start, which it chooses so that the next read, of the file's bytes from
// `offset` on, lands at their place within a page.
void MoveToStart(LineBuffer& buffer, std::size_t from, std::size_t size, std::uint64_t offset) {
  const auto address = reinterpret_cast<std::uintptr_t>(buffer.memory.get());  // NOLINT
  const std::size_t start = (offset - size - address) % kPageSize;
  if (start + size + kReadSize + kLookAhead > buffer.capacity) {
    std::memmove(buffer.memory.get(), TextOf(buffer) + from, size);
    buffer.start = 0;
    return;
  }
  std::memmove(buffer.memory.get() + start, TextOf(buffer) + from, size);
  buffer.start = start;
}

// The file's text, read in pieces: its bytes as they are, or the characters of a UTF-16 file in
// UTF-8.
struct TextSource {
  const ReadSome& read_some;
  ReadOutcome& outcome;
  Utf16Decoder decoder;
  std::array<char, kReadSize / 2> raw{};
};

// Reads the first two bytes, which tell a UTF-16 file by its byte-order mark, into `start`;
// returns how many there are.
std::size_t ReadStart(TextSource& source, char* start) {
  std::size_t got = 0;
  while (got < 2) {
    const std::ptrdiff_t count = source.read_some(start + got, 2 - got);
    if (count <= 0) {
      source.outcome.read_error = count < 0;
      break;
    }
    got += static_cast<std::size_t>(count);
  }
  source.outcome.bytes_read = got;
  source.outcome.encoding = EncodingOf(std::string_view(start, got));
  if (source.outcome.encoding == TextEncoding::kBytes) {
    return got;
  }
  source.decoder.big_endian = source.outcome.encoding == TextEncoding::kUtf16BigEndian;
  return static_cast<std::size_t>(DecodeUtf16(source.decoder, std::string_view(start, got), start) -
                                  start);
}

// Reads the next piece of text at `out`, at most kReadSize bytes of it; returns how many bytes,
// or -1 on a read error, and tells when the file has come to its end.
std::ptrdiff_t ReadText(TextSource& source, char* out, bool& at_end) {
  const bool utf16 = source.outcome.encoding != TextEncoding::kBytes;
  char* target = utf16 ? source.raw.data() : out;
  const std::ptrdiff_t count = source.read_some(target, utf16 ? source.raw.size() : kReadSize);
  if (count < 0) {
    return count;
  }
  source.outcome.bytes_read += static_cast<std::uint64_t>(count);
  at_end = count == 0;
  if (!utf16) {
    return count;
  }
  char* end =
      DecodeUtf16(source.decoder, std::string_view(target, static_cast<std::size_t>(count)), out);
  if (at_end) {
    bool whole = true;
    end = FinishUtf16(source.decoder, end, whole);
    source.outcome.not_text = source.outcome.not_text || !whole;
  }
  return end - out;
}

// What the scan has found of the line being read: where its first three numbers start, counted
// from the line's start, and whether it holds no '[', one or more; and of the last bytes scanned,
// which a digit may go on from: a digit after a digit, or after a dot that follows one, goes on
// its number.
struct LineScan {
  std::array<std::size_t, 3> number_starts{};
  std::size_t numbers = 0;
  std::size_t brackets = 0;       // '[': 0, 1, or 2 for more
  std::size_t first_bracket = 0;  // counted from the line's start
  // The digits' and the dots' masks of the last 64 bytes scanned, the last byte in bit 63.
  std::uint64_t digits_before = 0;
  std::uint64_t dots_before = 0;
};

std::array<RunningTotal, 3> RunningTotalsOf(const ResourceTotals& totals) {
  return {RunningTotalOf(totals.metal), RunningTotalOf(totals.crystal),
          RunningTotalOf(totals.deuterium)};
}

ResourceTotals TotalsOf(const std::array<RunningTotal, 3>& running) {
  return {running[0].value, running[1].value, running[2].value};
}

// The reading of one report: where the text stands, the line being read, and where its results go.
struct Reading {
  const LineEnds& line_ends;
  std::array<RunningTotal, 3> running;  // the totals so far, as the echo writes them
  Echo echo;
  FindBytes find_bytes = FastestFindBytes();
  LineScan scan;
  bool nul = false;
};

// Notes the numbers that start at the bits of `starts`, `offset` bytes past the line's start.
void AddStarts(LineScan& scan, std::uint64_t starts, std::size_t offset) {
  std::size_t numbers = scan.numbers;
  for (; starts != 0 && numbers < scan.number_starts.size(); starts &= starts - 1) {
    scan.number_starts[numbers++] = offset + static_cast<std::size_t>(std::countr_zero(starts));
  }
  scan.numbers = numbers;
}

// Notes the '[' at the bits of `brackets`, `offset` bytes past the line's start.
void AddBrackets(LineScan& scan, std::uint64_t brackets, std::size_t offset) {
  if (brackets != 0) [[unlikely]] {
    if (scan.brackets == 0) {
      scan.first_bracket = offset + static_cast<std::size_t>(std::countr_zero(brackets));
    }
    scan.brackets = (scan.brackets == 0 && (brackets & (brackets - 1)) == 0) ? 1 : 2;
  }
}

// Reads the amount at `text`, the `index`th of its line, echoes it at `out` with its label and
// adds it to its running total; returns the end of the echo.
template <std::size_t index>
char* EchoAmount(std::array<RunningTotal, 3>& running, char* out, const char* text) {
  const EchoedNumber number = EchoNumberAt(text, out);
  AddTo(std::get<index>(running), number.value);
  return Put(number.end, std::get<index>(kAmountLabels));
}

// When `line` is a line of a block that an earlier run appended, reads it, and any report after
// its closing tags, with ReadLine and the running totals, and says so. Kept out of EndLine, as
// Emit, Flush and RenewRunningTotal are, so that the room these seldom-taken ways need, which a
// stack check would guard, is not set up for every line.
[[gnu::noinline]] bool ReadIfBlockLine(Reading& reading, std::string_view line) {
  if (!BlockLineRest(line).has_value()) {
    return false;
  }
  ResourceTotals totals = TotalsOf(reading.running);
  ReadLine(line, totals, reading.echo);
  reading.running = RunningTotalsOf(totals);
  return true;
}

// The line read whole, as ReadLine reads it, with the numbers the scan found.
void EndLine(Reading& reading, char* text, std::size_t size) {
  const std::string_view line = AsTextLine(text, size, reading.line_ends);
  LineScan& scan = reading.scan;
  const bool may_be_block_line =
      scan.brackets > 1 || (scan.brackets == 1 && MayBeBlockLine(line, scan.first_bracket));
  if (!may_be_block_line || !ReadIfBlockLine(reading, line)) [[likely]] {
    const std::size_t count = scan.numbers;
    const std::array<std::size_t, 3>& starts = scan.number_starts;
    char* out = LineEchoRoom(reading.echo);
    if (count > 0) {
      out = EchoAmount<0>(reading.running, out, text + starts[0]);
    }
    if (count > 1) {
      out = EchoAmount<1>(reading.running, out, text + starts[1]);
    }
    if (count > 2) {
      out = EchoAmount<2>(reading.running, out, text + starts[2]);
    }
    EchoLineEnd<WriteRunningTotals>(reading.echo, out, line, count, reading.running);
  }
  scan.numbers = 0;
  scan.brackets = 0;
}

// Scans the text from `from` to `to`, 64 bytes at a time, and reads each line that ends there;
// returns where the line that has not ended yet starts. The text is followed by the look-ahead's
// zeros, which no mask but the NULs' marks.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): from, to
std::size_t ScanText(Reading& reading, char* text, std::size_t from, std::size_t to) {
  LineScan& scan = reading.scan;
  // What a digit may go on from, kept here while the scan goes on: the lines read between never
  // look at it.
  std::uint64_t digits_before = scan.digits_before;
  std::uint64_t dots_before = scan.dots_before;
  std::uint64_t nuls = 0;
  std::size_t line_start = 0;
  std::array<ByteMasks, 16> batch;
  for (std::size_t position = from; position < to;) {
    const std::size_t blocks = std::min(batch.size(), (to - position + 63) / 64);
    reading.find_bytes(text + position, blocks, batch.data());
    for (const ByteMasks& masks : std::span(batch.data(), blocks)) {
      const std::size_t count = std::min<std::size_t>(64, to - position);
      const std::uint64_t digits = masks.digits;
      const std::uint64_t dots = masks.dots;
      std::uint64_t ends = masks.line_ends;
      std::uint64_t brackets = masks.brackets;
      nuls |= count == 64 ? masks.nuls : masks.nuls & ((std::uint64_t{1} << count) - 1);
      const std::uint64_t after_digit = (digits << 1U) | (digits_before >> 63U);
      const std::uint64_t two_after_digit = (digits << 2U) | (digits_before >> 62U);
      const std::uint64_t after_dot = (dots << 1U) | (dots_before >> 63U);
      std::uint64_t starts = digits & ~after_digit & ~(after_dot & two_after_digit);
      if (count == 64) [[likely]] {
        digits_before = digits;
        dots_before = dots;
      } else {
        digits_before = (digits << (64 - count)) | (digits_before >> count);
        dots_before = (dots << (64 - count)) | (dots_before >> count);
      }
      for (; ends != 0; ends &= ends - 1) {
        const auto end = static_cast<unsigned>(std::countr_zero(ends));
        const std::uint64_t to_end = ends ^ (ends - 1);  // up to the line end
        AddStarts(scan, starts & to_end, position - line_start);
        AddBrackets(scan, brackets & to_end, position - line_start);
        const std::size_t line_end = position + end + 1;
        EndLine(reading, text + line_start, line_end - line_start);
        line_start = line_end;
        starts &= ~to_end;
        brackets &= ~to_end;
      }
      AddStarts(scan, starts, position - line_start);
      AddBrackets(scan, brackets, position - line_start);
      position += 64;
    }
  }
  scan.digits_before = digits_before;
  scan.dots_before = dots_before;
  reading.nul = reading.nul || nuls != 0;
  return line_start;
}

}  // namespace

ReadOutcome ReadReport(const ReadSome& read_some, const LineEnds& line_ends, ResourceTotals& totals,
                       const EchoSink& sink) {
  ReadOutcome outcome;
  Reading reading{line_ends, RunningTotalsOf(totals), Echo{sink}, FastestFindBytes(), {}, false};
  TextSource source{read_some, outcome, {}, {}};
  LineBuffer buffer;
  if (!Reserve(buffer, kReadSize + kPageSize)) {
    outcome.line_too_long = true;
    return outcome;
  }
  MoveToStart(buffer, 0, 0, 0);
  std::size_t filled = ReadStart(source, TextOf(buffer));
  std::size_t scanned = 0;
  for (bool at_end = false; !outcome.read_error && !at_end;) {
    if (!Reserve(buffer, filled + kReadSize + kMaxUtf8Length)) {
      outcome.line_too_long = true;
      break;
    }
    const std::ptrdiff_t count = ReadText(source, TextOf(buffer) + filled, at_end);
    if (count < 0) {
      outcome.read_error = true;  // and the line it cut short is dropped
      break;
    }
    filled += static_cast<std::size_t>(count);
    char* text = TextOf(buffer);
    std::memset(text + filled, 0, kLookAhead);
    std::size_t line_start = ScanText(reading, text, scanned, filled);
    // A NUL ends the reading at once, as if the file ended there: a picture or a disk image, which
    // may be larger than the memory, is never held whole.
    at_end = at_end || reading.nul;
    if (at_end && line_start != filled) {
      EndLine(reading, text + line_start, filled - line_start);
      line_start = filled;
    }
    // A line longer than what came so far stays where it is, unless what starts it can be moved
    // where the next read lands best.
    if (line_start != 0 || filled < kPageSize) {
      filled -= line_start;
      MoveToStart(buffer, line_start, filled, outcome.bytes_read);
    }
    scanned = filled;
  }
  outcome.not_text = outcome.not_text || reading.nul;
  Flush(reading.echo);
  totals = TotalsOf(reading.running);
  return outcome;
}

ReadSome ReadFromMemory(std::string_view bytes, std::size_t piece_size) {
  return [bytes, piece_size](char* buffer, std::size_t size) mutable {
    const std::size_t count = std::min({size, piece_size, bytes.size()});
    std::memcpy(buffer, bytes.data(), count);
    bytes.remove_prefix(count);
    return static_cast<std::ptrdiff_t>(count);
  };
}

[[gnu::noinline]] void Emit(Echo& echo, std::string_view text) {
  if (echo.used + text.size() > echo.gathered.size()) {
    Flush(echo);
  }
  if (text.size() >= echo.gathered.size()) {
    echo.sink(text);
    return;
  }
  std::memcpy(echo.gathered.data() + echo.used, text.data(), text.size());
  echo.used += text.size();
}

[[gnu::noinline]] void Flush(Echo& echo) {
  if (echo.used != 0) {
    echo.sink(std::string_view(echo.gathered.data(), echo.used));
    echo.used = 0;
  }
}

int ReadingFile(const char* path) {
  ReportFile report;
  if (const auto problem = report.Open(path)) {
    Fail(*problem, path);
  }
  ResourceTotals totals;
  const ReadOutcome reading = ReadReport(
      [&report](char* buffer, std::size_t size) { return report.Read(buffer, size); },
      kSystemLineEnds, totals, [](std::string_view echo) { WriteOutput(Stream::kOutput, echo); });
  PrintfIntResult(totals.metal, totals.crystal, totals.deuterium);
  return SaveResult(std::move(report), reading, path, totals.metal, totals.crystal,
                    totals.deuterium);
}

void ReadLine(std::string_view line, ResourceTotals& totals, Echo& echo) {
  // A block from an earlier run holds picture addresses, not loot; a report pasted right after
  // the block's closing tags, on the same line, still counts.
  for (auto rest = BlockLineRest(line); rest.has_value(); rest = BlockLineRest(line)) {
    if (IsLineEnd(*rest)) {
      return;
    }
    line = *rest;
  }
  FindIntValues(line, totals, echo);
}

LineAmounts FindAmounts(std::string_view line) {
  LineAmounts found;
  for (std::size_t position = FindDigit(line, 0);
       position < line.size() && found.count < found.amounts.size();
       position = FindDigit(line, position + 1)) {
    found.amounts[found.count++] = DotedToInt(line, position);
  }
  return found;
}

void FindIntValues(std::string_view line, ResourceTotals& totals, Echo& echo) {
  const LineAmounts found = FindAmounts(line);
  AddUp(totals, found);
  EchoLine(echo, line, found, totals);
}

std::uint64_t DotedToInt(std::string_view line, std::size_t& position) {
  std::uint64_t value = 0;
  std::size_t i = position;
  for (;;) {
    for (; i < line.size() && IsDigit(line[i]); ++i) {
      value = value * 10 + DigitValue(line[i]);  // wraps past 2^64 - 1
    }
    if (i == line.size() || line[i] != '.') {
      break;
    }
    ++i;  // a dot right after a digit belongs to the number,
    if (i == line.size() || !IsDigit(line[i])) {
      break;  // which goes on only if a digit follows
    }
  }
  position = i - 1;
  return value;
}
