// The results of a run: numbers in plain and grouped decimal, the console summary, and the forum
// block, put together and appended to the report file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "messages.hpp"
#include "report_file.hpp"
#include "text.hpp"

inline constexpr std::size_t kMaxDecimalLength = std::numeric_limits<std::uint64_t>::digits10 + 1;
inline constexpr std::size_t kMaxDotedLength = kMaxDecimalLength + (kMaxDecimalLength - 1) / 3;

// Writes `value` in plain decimal at `out`, at most kMaxDecimalLength bytes; returns the end of
// the number. The program's one writer of digits, and the echo's busiest function: it copies
// digits four at a time, and so may write up to 3 bytes past the end of the number, which what is
// written next covers. Give it kDecimalRoom bytes.
inline constexpr std::size_t kDecimalRoom = kMaxDecimalLength + 3;
char* WriteDecimal(char* out, std::uint64_t value);

// Writes `value` with a '.' between groups of three digits (0, 999, 1.000, 12.345.678), at most
// kMaxDotedLength bytes and nothing past them; returns the end of what it wrote.
char* WriteDoted(char* out, std::uint64_t value);

// Copies `text` to `out`; returns the end of what it wrote. The output is put together this way,
// in arrays of known size, and written in one piece.
inline char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// "Metal=<m>, Cristal=<c>, Deuterium=<d>", each number written by `WriteNumber`: the labels of the
// totals, for the running totals of the echo and for the summary. Writes at most kMaxTotalsLength
// bytes, and up to 3 more past the end it returns when WriteNumber does.
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

// Appends `value` to `out` in grouped decimal, as WriteDoted writes it.
void PrintDoted(std::string& out, std::uint64_t value);

// Appends the "Rentabilite :" summary of the totals to `out`.
void AppendSummary(std::string& out, std::uint64_t metal, std::uint64_t crystal,
                   std::uint64_t deuterium);

// Prints the summary on standard output.
void PrintfIntResult(std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium);

// Appends the forum block of the totals to `out`, its lines ended by `line_end`.
void PrintFormated(std::string& out, std::string_view line_end, std::uint64_t metal,
                   std::uint64_t crystal, std::uint64_t deuterium);

// What the reading of a report file found besides its totals.
struct ReadOutcome;

// The message that says why no block follows a reading, when none can: a read error, a line too
// long, or a file that is not text.
std::optional<Message> WhyNoBlock(const ReadOutcome& reading);

// Appends the forum block to the report file that `report` read, in the file's encoding and with
// the line ends of a text file of this system, provided that the reading took in the whole file
// as text, and that the file is still as the reading found it. Takes the file and lets it go
// before any ending, so that another run over it need not wait for this one's prompt. Ends the
// process with status kFileFailure, after saying why, when no block can be added; what part of
// the block reached the file is then taken back. Returns 0.
int SaveResult(ReportFile report, const ReadOutcome& reading, const char* path, std::uint64_t metal,
               std::uint64_t crystal, std::uint64_t deuterium);
