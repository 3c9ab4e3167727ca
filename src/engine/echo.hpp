// The echo: what the console shows of each line read, its amounts, what it lacks and the running
// totals, gathered and handed to a sink in large pieces. It holds the program's one writer of
// decimal digits, and every room: how many bytes each writer of the echo is given, and how far past
// the end of what it gives back it may write. Writers that copy whole words write past their text;
// what is written next covers those bytes, and the room makes sure that they stay in the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>

// The digits of the largest amount, 2^64 - 1.
inline constexpr std::size_t kMaxDecimalLength = std::numeric_limits<std::uint64_t>::digits10 + 1;

// How far past the end of what it gives back a writer of four-byte words may write: the last word
// holds at least one byte of the text.
inline constexpr std::size_t kWordSpill = 3;

// Writes `value` in plain decimal at `out`, at most kMaxDecimalLength bytes, and returns their end.
// The program's one writer of digits, and the echo's busiest function: it copies digits four at a
// time, and so may write up to kWordSpill bytes past the number. Give it kDecimalRoom bytes.
inline constexpr std::size_t kDecimalRoom = kMaxDecimalLength + kWordSpill;
char* WriteDecimal(char* out, std::uint64_t value);

// Copies `text` to `out`; returns the end of what it wrote. The echo, the summary and the page's
// results are put together this way, in buffers of known size.
inline char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// "Metal=<m>, Cristal=<c>, Deuterium=<d>", each number written by `WriteNumber`: the labels of the
// totals, for the running totals of the echo and for the summary. Writes at most kMaxTotalsLength
// bytes, those past the end it returns included.
inline constexpr std::size_t kMaxTotalsLength = 40 + 3 * kDecimalRoom;

template <auto WriteNumber, typename Number>
char* WriteTotals(char* out, const std::array<Number, 3>& totals) {
  out = WriteNumber(Put(out, "Metal="), totals[0]);
  out = WriteNumber(Put(out, ", Cristal="), totals[1]);
  return WriteNumber(Put(out, ", Deuterium="), totals[2]);
}

// A running total of the echo, kept with the text of its leading digits, which change seldom:
// writing it then costs the copy of that text and the writing of its last digits, 0 to 12 of
// them, not the writing of every digit.
struct RunningTotal {
  std::uint64_t value = 0;
  // The leading digits hold while value - base < span: they are the text of base / 10^last, and
  // value - base is written in `last` digits. The span is 10^last, or less where base + 10^last
  // would pass 2^64, so that a total which wraps leaves it.
  std::uint64_t base = 0;
  std::uint64_t span = 1;
  std::size_t last = 0;
  // Copied whole, whatever its length: at most 8 digits and the bytes after them, which what is
  // written next covers, within kDecimalRoom.
  std::array<char, 16> leading{'0'};
  std::size_t leading_length = 1;
};

RunningTotal RunningTotalOf(std::uint64_t value);

// Makes `total` anew for its value, out of line: AddTo is inlined where every line is read.
[[gnu::noinline]] void RenewRunningTotal(RunningTotal& total);

// Adds `amount` to `total`, wrapping past 2^64 - 1.
inline void AddTo(RunningTotal& total, std::uint64_t amount) {
  total.value += amount;
  if (total.value - total.base >= total.span) [[unlikely]] {
    RenewRunningTotal(total);
  }
}

// Writes `total` in plain decimal, as WriteDecimal writes its value, and with the same room.
char* WriteRunningTotal(char* out, const RunningTotal& total);

// Writes the running totals as WriteTotals does with WriteRunningTotal, in one call: the echo
// writes them after every line.
char* WriteRunningTotals(char* out, const std::array<RunningTotal, 3>& totals);

std::array<RunningTotal, 3> RunningTotalsOf(const std::array<std::uint64_t, 3>& totals);

std::array<std::uint64_t, 3> ValuesOf(const std::array<RunningTotal, 3>& running);

// The room that the fast scan is given for an amount's echo at the end of the echo: it copies 24
// bytes from the amount's first digit, then, after up to kMaxDecimalLength digits, four bytes for
// a group of three, three bytes further on. When the copy is not the amount's echo, WriteDecimal
// writes it over in the same room.
inline constexpr std::size_t kAmountEchoRoom = kMaxDecimalLength + 3 + 4;
static_assert(kAmountEchoRoom >= 24 && kAmountEchoRoom >= kDecimalRoom);

// Takes the echo, piece after piece.
using EchoSink = std::function<void(std::string_view piece)>;

// The echo on its way to its sink: gathered, and handed over in pieces of at most 64 KiB, large
// enough to cost few writes, small enough to stay in the processor's cache; a longer text, such as
// a long line, goes to the sink as it is.
struct Echo {
  EchoSink sink;
  std::string gathered = std::string(std::size_t{64} * 1024, '\0');
  std::size_t used = 0;
};

// Adds `text` to the echo.
void Emit(Echo& echo, std::string_view text);

// Hands what the echo gathered to its sink.
void Flush(Echo& echo);

// Echoes a line of a report that holds the `amounts` given, its first three numbers or fewer,
// with the `totals` that they give: the amounts with their labels, what the line lacks, and the
// totals.
void EchoLine(Echo& echo, std::string_view line, std::span<const std::uint64_t> amounts,
              const std::array<std::uint64_t, 3>& totals);

// Echoes a line as EchoLine does, reading its first `numbers` amounts, which start at `starts`
// within it, as the fast scan reads them, and adding them to the running totals. The text must go
// on past the line with the scan's look-ahead.
void EchoScannedLine(Echo& echo, std::array<RunningTotal, 3>& running, std::string_view line,
                     const std::array<std::size_t, 3>& starts, std::size_t numbers);
