// The fast scan: the reading's way to the answers of FindIntValues and DotedToInt, line for line,
// without looking at the text a byte at a time. From the byte masks of 64 bytes at a time it finds
// each line's end, where its first three numbers start and whether it may be a line of a forum
// block; it reads an amount from words of four and eight bytes, and echoes it, its digits copied
// as they are read, in the room that the echo gives it. It gives data and knows nothing of what is
// done with it: each line goes to a function that its caller gives. Every trick on a word is
// checked at compile time, beside it, over all the inputs it claims.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "engine/byte_masks.hpp"
#include "engine/echo.hpp"
#include "forum_block/forum_block.hpp"
#include "text/text.hpp"

// The bytes past the text that the scan may read: the byte masks take 64 bytes at a time, and an
// amount's first digits are copied kLeadingCopy bytes at a time. The reader of the text fills them
// with zeros, which end any number and any line's numbers, and which no mask but the NULs' marks.
inline constexpr std::size_t kLookAhead = 64;

// --- An amount read from words. -----------------------------------------------------------------

// Bytes copied for the digits before a number's first dot, whatever their count, and for the three
// of a group. They lie within the text and its look-ahead, and within the echo's room for the
// amount; what is written next covers those past the number.
inline constexpr std::size_t kLeadingCopy = 24;
inline constexpr std::size_t kGroupCopy = 4;
static_assert(kLeadingCopy >= kMaxDecimalLength && kLeadingCopy <= kLookAhead);
static_assert(kLeadingCopy <= kAmountEchoRoom &&
                  kMaxDecimalLength + 3 + kGroupCopy <= kAmountEchoRoom,
              "a group's copy starts 3 bytes past a count of copied digits that may stand at "
              "kMaxDecimalLength, when it is the second of two groups");

// The bytes of `word` that are no digit, up to the first one, marked by their high bit. Less '0',
// a byte's high bit is set from 0x00 to 0x2F and from 0xB0 to 0xFF; plus 0x46, from 0x3A to 0xB9:
// together, every byte but '0' to '9'. A digit neither borrows nor carries, so what a byte borrows
// from or carries into the next one only changes bytes after a byte that is no digit.
template <typename Word>
constexpr Word NotDigitMarks(Word word) {
  return ((word - EveryByte<Word>('0')) | (word + EveryByte<Word>(0x46))) & EveryByte<Word>(0x80);
}

// The two halves' ranges, as said above, for every byte value.
constexpr bool NotDigitRangesHold() {
  for (unsigned byte = 0; byte < 256; ++byte) {
    const bool below = ((byte - '0') & 0x80U) != 0;
    const bool above = ((byte + 0x46U) & 0x80U) != 0;
    if (below != (byte <= 0x2F || (byte >= 0xB0 && byte <= 0xFF)) ||
        above != (byte >= 0x3A && byte <= 0xB9)) {
      return false;
    }
  }
  return true;
}
static_assert(NotDigitRangesHold());

// Every byte value, at every place of a word, after digits: marked when it is no digit, and the
// digits before it never. '0' and '9' stand for every digit: a byte borrows from the next only
// below '0', and carries into it only from 0xBA on.
template <typename Word>
constexpr bool NotDigitMarksHold() {
  for (std::size_t place = 0; place < sizeof(Word); ++place) {
    const Word low_bytes = place == 0 ? 0 : ~Word{0} >> (8 * (sizeof(Word) - place));
    for (const auto digit : {static_cast<unsigned char>('0'), static_cast<unsigned char>('9')}) {
      for (unsigned byte = 0; byte < 256; ++byte) {
        const Word word = (EveryByte<Word>(digit) & low_bytes) | Word{byte} << (8 * place);
        const Word marks = NotDigitMarks(word) & (low_bytes | Word{0xFF} << (8 * place));
        const bool is_digit = byte >= '0' && byte <= '9';
        if (marks != (is_digit ? Word{0} : Word{0x80} << (8 * place))) {
          return false;
        }
      }
    }
  }
  return true;
}
static_assert(NotDigitMarksHold<std::uint32_t>() && NotDigitMarksHold<std::uint64_t>());

// How many digits `word` starts with, 4 when it holds no other byte.
constexpr unsigned LeadingDigits(std::uint32_t word) {
  return static_cast<unsigned>(std::countr_zero(NotDigitMarks(word))) / 8;
}

// Whether every byte of `word` is a digit but the last, which is not one.
template <typename Word>
constexpr bool DigitsThenOther(Word word) {
  return NotDigitMarks(word) == Word{0x80} << (8 * (sizeof(Word) - 1));
}

// Whether `word`, the four bytes after a dot, is a group: three digits and a byte that is not one.
constexpr bool IsGroup(std::uint32_t word) {
  return DigitsThenOther(word);
}

// The value of the first `count` digits of `word`, 1 to 3 of them, at once. They are moved up so
// that they end at the third byte, behind zeros; what the bytes after them borrow goes upwards,
// past the third byte.
constexpr std::uint64_t DigitsValue(std::uint32_t word, unsigned count) {
  const std::uint32_t digits = (word - EveryByte<std::uint32_t>('0')) << (8 * (3 - count));
  return (digits & 0xFFU) * 100 + ((digits >> 8U) & 0xFFU) * 10 + ((digits >> 16U) & 0xFFU);
}

// Every number of one to three digits, followed by bytes of each kind.
constexpr bool DigitsValueHolds() {
  for (const std::uint32_t after : {0x00000000U, 0x2F2F2F2FU, 0x3A3A3A3AU, 0xFFFFFFFFU}) {
    for (unsigned count = 1; count <= 3; ++count) {
      for (std::uint32_t n = 0; n < (count == 1 ? 10U : count == 2 ? 100U : 1000U); ++n) {
        std::uint32_t word = after << (8 * count);
        for (std::uint32_t i = 0, rest = n; i < count; ++i, rest /= 10) {
          word |= ('0' + rest % 10) << (8 * (count - 1 - i));
        }
        if (LeadingDigits(word) != count || DigitsValue(word, count) != n) {
          return false;
        }
      }
    }
  }
  return true;
}
static_assert(DigitsValueHolds());

// The dot between two groups, in the eight bytes after the dot before them, made a '0', which
// leaves their digits as eight digits of one number: d1 to d3, 0, d4 to d6, and the byte after.
inline constexpr std::uint64_t kMiddleDotToZero = std::uint64_t{'.' ^ '0'} << 24U;

// Whether `word`, the eight bytes after a dot, is two groups: three digits, a dot, three digits,
// and a byte that is not one. Amounts of a million or more hold two groups or more. The dot is
// tested for itself: another byte made '0' by the same change (',' is one) is no group's dot.
constexpr bool AreTwoGroups(std::uint64_t word) {
  return ((word >> 24U) & 0xFFU) == '.' && DigitsThenOther(word ^ kMiddleDotToZero);
}

// The six digits of the two groups of `word`, as AreTwoGroups takes it, at once: neighbouring
// digits joined in pairs, then pairs in groups. No step carries from one byte, or one pair, into
// the next, so each group's value is its own.
constexpr std::uint64_t TwoGroupsValue(std::uint64_t word) {
  const std::uint64_t digits = ((word ^ kMiddleDotToZero) - EveryByte<std::uint64_t>('0')) << 8U;
  const std::uint64_t pairs = (digits * 10 + (digits >> 8U)) & 0x00FF00FF'00FF00FF;
  const std::uint64_t groups = (pairs * 100 + (pairs >> 16U)) & 0x0000FFFF'0000FFFF;
  return (groups & 0xFFFFU) * 1000 + (groups >> 32U);
}

// The word of two groups, "abc.def", and the byte after them, the first byte lowest.
constexpr std::uint64_t TwoGroupsWord(std::array<std::uint32_t, 2> groups, unsigned after) {
  std::uint64_t word = std::uint64_t{after} << 56U | std::uint64_t{'.'} << 24U;
  for (unsigned i = 0; i < 3; ++i, groups[0] /= 10, groups[1] /= 10) {
    word |= std::uint64_t{'0' + groups[0] % 10} << (8 * (2 - i));
    word |= std::uint64_t{'0' + groups[1] % 10} << (8 * (6 - i));
  }
  return word;
}

// Each group's every value beside the other's smallest and largest; and each byte, every value,
// in place of one of a pair of groups.
constexpr bool TwoGroupsHold() {
  for (std::uint32_t n = 0; n < 1000; ++n) {
    for (const std::uint32_t other : {0U, 999U}) {
      if (!AreTwoGroups(TwoGroupsWord({n, other}, ' ')) ||
          TwoGroupsValue(TwoGroupsWord({n, other}, ' ')) != n * 1000 + other ||
          TwoGroupsValue(TwoGroupsWord({other, n}, 0xFF)) != other * 1000 + n) {
        return false;
      }
    }
  }
  for (unsigned place = 0; place < 8; ++place) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      const std::uint64_t word =
          (TwoGroupsWord({123, 456}, ' ') & ~(std::uint64_t{0xFF} << (8 * place))) |
          std::uint64_t{byte} << (8 * place);
      const bool digit = byte >= '0' && byte <= '9';
      const bool expected = place == 3 ? byte == '.' : place == 7 ? !digit : digit;
      if (AreTwoGroups(word) != expected) {
        return false;
      }
    }
  }
  return true;
}
static_assert(TwoGroupsHold());

// Adds the digits at `text` to `value`; returns where they end.
inline const char* ReadDigits(const char* text, std::uint64_t& value) {
  for (std::uint64_t digit = 0; (digit = DigitValue(*text)) < 10; ++text) {
    value = value * 10 + digit;  // wraps past 2^64 - 1
  }
  return text;
}

// An amount read where the scan found its first digit: its value, and the end of its echo.
struct ScannedAmount {
  std::uint64_t value = 0;
  char* echo_end = nullptr;
};

// A number as it is read: its value so far, and how many of its digits were copied in place, up
// to kMaxDecimalLength: there, because the number is too long or its digits are not all copied,
// the copy is not its echo.
struct NumberRead {
  std::uint64_t value = 0;
  std::size_t copied = 0;
};

// The number's digits before its first dot, whose first four bytes are `leading`, read; the copy
// of the first kLeadingCopy bytes holds them. Up to three leading digits are read at once: amounts
// start with one to three, which a byte loop would end after at places the processor cannot
// foresee.
inline const char* ReadLeading(const char* text, std::uint32_t leading, NumberRead& number) {
  number.copied = LeadingDigits(leading);
  if (number.copied < 4) {
    number.value = DigitsValue(leading, static_cast<unsigned>(number.copied));
    return text + number.copied;
  }
  const char* const end = ReadDigits(text, number.value);
  number.copied = std::min<std::size_t>(static_cast<std::size_t>(end - text), kMaxDecimalLength);
  return end;
}

// What follows the dot at `text` in a number: two groups or one, copied after the digits copied
// at `out`, or digits that go on the number uncopied. Moves `text` on and returns true when the
// number goes on; false when the dot ends it.
inline bool ReadAfterDot(const char*& text, char* out, NumberRead& number) {
  const std::uint64_t groups = LoadWord<std::uint64_t>(text + 1);
  if (AreTwoGroups(groups)) {
    number.value = number.value * 1'000'000 + TwoGroupsValue(groups);
    std::memcpy(out + number.copied, text + 1, kGroupCopy);
    std::memcpy(out + number.copied + 3, text + 5, kGroupCopy);
    number.copied = std::min(number.copied + 6, kMaxDecimalLength);
    text += 8;
    return true;
  }
  const auto group = static_cast<std::uint32_t>(groups);
  if (IsGroup(group)) {
    number.value = number.value * 1000 + DigitsValue(group, 3);
    std::memcpy(out + number.copied, text + 1, kGroupCopy);
    number.copied = std::min(number.copied + 3, kMaxDecimalLength);
    text += 4;
    return true;
  }
  if (DigitValue(text[1]) < 10) {
    text = ReadDigits(text + 1, number.value);
    number.copied = kMaxDecimalLength;
    return true;
  }
  return false;
}

// Reads the number whose first digit is at `text` as DotedToInt does, and echoes it at `out` in
// plain decimal, in the kAmountEchoRoom bytes there: its digits are copied as they are read, dots
// left out, and are its echo unless it has a leading zero, too many digits not to wrap, or a dot
// that no group follows, when WriteDecimal writes its value over them. The number must be
// followed, within the text or its look-ahead, by a byte that ends it. Inline, in each of the
// line's three places that read an amount: a call saved and restored four registers each time.
inline ScannedAmount ReadAmount(const char* text, char* const out) {
  const std::uint32_t leading = LoadWord<std::uint32_t>(text);
  std::memcpy(out, text, kLeadingCopy);
  NumberRead number;
  text = ReadLeading(text, leading, number);
  while (text[0] == '.' && ReadAfterDot(text, out, number)) {
  }
  if (number.copied == kMaxDecimalLength || ((leading & 0xFFU) == '0' && number.copied != 1)) {
    return {number.value, WriteDecimal(out, number.value)};
  }
  return {number.value, out + number.copied};
}

// --- Lines and their numbers, 64 bytes at a time. -----------------------------------------------

// The digits' and the dots' masks of the last 64 bytes scanned, the last byte in bit 63, which a
// digit may go on a number from.
struct CarriedMasks {
  std::uint64_t digits = 0;
  std::uint64_t dots = 0;
};

// The bytes of a 64-byte block where a number starts, from its digits' and dots' masks and those
// of the 64 bytes before it: a digit starts one unless it follows a digit, or a dot that follows a
// digit, as DotedToInt reads a number on.

constexpr std::uint64_t NumberStarts(const ByteMasks& masks, const CarriedMasks& before) {
  const std::uint64_t after_digit = (masks.digits << 1U) | (before.digits >> 63U);
  const std::uint64_t two_after_digit = (masks.digits << 2U) | (before.digits >> 62U);
  const std::uint64_t after_dot = (masks.dots << 1U) | (before.dots >> 63U);
  return masks.digits & ~after_digit & ~(after_dot & two_after_digit);
}

// Whether NumberStarts has the digit at byte `at` of a block, 0 to 2, start a number, after the
// two bytes of the kinds `before` (0 a digit, 1 a dot, 2 another byte), in the block or the one
// before it.
constexpr bool StartsAfter(const std::array<unsigned, 2>& before, int at) {
  ByteMasks block;
  CarriedMasks carried;
  block.digits = std::uint64_t{1} << at;
  for (std::size_t i = 0; i < 2; ++i) {
    const int place = at - 2 + static_cast<int>(i);
    const std::uint64_t bit = std::uint64_t{1} << ((place + 64) % 64);
    std::uint64_t& digits = place < 0 ? carried.digits : block.digits;
    std::uint64_t& dots = place < 0 ? carried.dots : block.dots;
    digits |= before.at(i) == 0 ? bit : 0;
    dots |= before.at(i) == 1 ? bit : 0;
  }
  return ((NumberStarts(block, carried) >> at) & 1U) == 1U;
}

// Every kind of the two bytes before a digit, within the block and across its start: the digit
// starts a number exactly as DotedToInt would have it.
constexpr bool NumberStartsHold() {
  for (unsigned kinds = 0; kinds < 9; ++kinds) {
    const std::array<unsigned, 2> before = {kinds / 3, kinds % 3};
    const bool starts = before[1] == 2 || (before[1] == 1 && before[0] != 0);
    for (int at = 0; at < 3; ++at) {
      if (StartsAfter(before, at) != starts) {
        return false;
      }
    }
  }
  return true;
}
static_assert(NumberStartsHold());

// A line as the scan hands it over: its bytes as they are in the text, its end included when it
// has one; where its first three numbers start, counted from its start, as many as it holds; and
// whether it may be a line of a forum block, which only BlockLineRest tells for sure.
struct ScannedLine {
  char* text = nullptr;
  std::size_t size = 0;
  std::array<std::size_t, 3> number_starts{};
  std::size_t numbers = 0;
  bool may_be_block_line = false;
};

// The scan of one text, from piece to piece of it.
struct LineScan {
  FindBytes find_bytes = FastestFindBytes();
  // The line being scanned, its numbers noted as they come, handed over where it ends.
  ScannedLine line;
  // Its '[' (none, one, or 2 for more), which every line of a forum block starts with.
  std::size_t brackets = 0;
  std::size_t first_bracket = 0;  // counted from the line's start
  CarriedMasks before;
  bool nul = false;  // whether a NUL was scanned
};

// Notes the numbers that start at the bits of `starts`, `offset` bytes past the line's start.
inline void AddStarts(LineScan& scan, std::uint64_t starts, std::size_t offset) {
  ScannedLine& line = scan.line;
  std::size_t numbers = line.numbers;
  for (; starts != 0 && numbers < line.number_starts.size(); starts &= starts - 1) {
    line.number_starts[numbers++] = offset + static_cast<std::size_t>(std::countr_zero(starts));
  }
  line.numbers = numbers;
}

// Notes the '[' at the bits of `brackets`, `offset` bytes past the line's start.
inline void AddBrackets(LineScan& scan, std::uint64_t brackets, std::size_t offset) {
  if (brackets != 0) [[unlikely]] {
    if (scan.brackets == 0) {
      scan.first_bracket = offset + static_cast<std::size_t>(std::countr_zero(brackets));
    }
    scan.brackets = (scan.brackets == 0 && (brackets & (brackets - 1)) == 0) ? 1 : 2;
  }
}

// Hands the line of `size` bytes at `text`, scanned whole, to `on_line`; the scan starts the next.
template <typename OnLine>
inline void HandOver(LineScan& scan, char* text, std::size_t size, OnLine& on_line) {
  ScannedLine& line = scan.line;
  line.text = text;
  line.size = size;
  line.may_be_block_line =
      scan.brackets > 1 ||
      (scan.brackets == 1 && MayBeBlockLine(std::string_view(text, size), scan.first_bracket));
  on_line(static_cast<const ScannedLine&>(line));
  line.numbers = 0;
  scan.brackets = 0;
}

// The masks of the last 64 bytes once `count` more are scanned, the last in bit 63.
constexpr std::uint64_t CarriedMask(std::uint64_t mask, std::uint64_t before, std::size_t count) {
  return count == 64 ? mask : (mask << (64 - count)) | (before >> count);
}
static_assert(CarriedMask(0b101, 1ULL << 63, 3) == (0b101ULL << 61 | 1ULL << 60) &&
              CarriedMask(0b101, 1ULL << 63, 64) == 0b101);

// Where the scan stands in the text: the block of 64 bytes at `position`, of which `count` are
// text, and the start of the line that has not ended yet.
struct ScanPlace {
  std::size_t position = 0;
  std::size_t count = 0;
  std::size_t line_start = 0;
};

// Scans the block at `place` in the text, whose masks are `masks`, and hands each line that ends
// there to `on_line`; moves the line start on.
template <typename OnLine>
inline void ScanBlock(LineScan& scan, const ByteMasks& masks, char* text, ScanPlace& place,
                      CarriedMasks& before, OnLine& on_line) {
  std::uint64_t starts = NumberStarts(masks, before);
  std::uint64_t brackets = masks.brackets;
  before.digits = CarriedMask(masks.digits, before.digits, place.count);
  before.dots = CarriedMask(masks.dots, before.dots, place.count);
  for (std::uint64_t ends = masks.line_ends; ends != 0; ends &= ends - 1) {
    const std::uint64_t to_end = ends ^ (ends - 1);  // up to the line end
    AddStarts(scan, starts & to_end, place.position - place.line_start);
    AddBrackets(scan, brackets & to_end, place.position - place.line_start);
    const std::size_t end = place.position + static_cast<std::size_t>(std::countr_zero(ends)) + 1;
    HandOver(scan, text + place.line_start, end - place.line_start, on_line);
    place.line_start = end;
    starts &= ~to_end;
    brackets &= ~to_end;
  }
  AddStarts(scan, starts, place.position - place.line_start);
  AddBrackets(scan, brackets, place.position - place.line_start);
}

// Scans the text from `from` to `to`, 64 bytes at a time, and hands each line that ends there to
// `on_line`, with `text` as its start; returns where the line that has not ended yet starts. The
// text is followed by the look-ahead's zeros.
template <typename OnLine>
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): from, to
std::size_t ScanText(LineScan& scan, char* text, std::size_t from, std::size_t to,
                     OnLine&& on_line) {
  // Kept here while the scan goes on: the lines handed over between never look at them.
  CarriedMasks before = scan.before;
  std::uint64_t nuls = 0;
  ScanPlace place;
  std::array<ByteMasks, 16> batch;
  for (place.position = from; place.position < to;) {
    const std::size_t blocks = std::min(batch.size(), (to - place.position + 63) / 64);
    scan.find_bytes(text + place.position, blocks, batch.data());
    for (const ByteMasks& masks : std::span(batch.data(), blocks)) {
      place.count = std::min<std::size_t>(64, to - place.position);
      nuls |= place.count == 64 ? masks.nuls : masks.nuls & ((std::uint64_t{1} << place.count) - 1);
      ScanBlock(scan, masks, text, place, before, on_line);
      place.position += 64;
    }
  }
  scan.before = before;
  scan.nul = scan.nul || nuls != 0;
  return place.line_start;
}

// Hands over the last line of the text, which ends with the text, not with a line end.
template <typename OnLine>
void ScanLastLine(LineScan& scan, char* line, std::size_t size, OnLine&& on_line) {
  HandOver(scan, line, size, on_line);
}
