#include "engine/echo.hpp"

#include <algorithm>

#include "engine/line_scan.hpp"
#include "messages/messages.hpp"

namespace {

// "0000" to "9999", so that four digits cost one look-up.
constexpr auto kFourDigits = [] {
  std::array<char, std::size_t{4} * 10000> table{};
  for (std::size_t n = 0; n < 10000; ++n) {
    table[4 * n] = static_cast<char>('0' + n / 1000);
    table[4 * n + 1] = static_cast<char>('0' + n / 100 % 10);
    table[4 * n + 2] = static_cast<char>('0' + n / 10 % 10);
    table[4 * n + 3] = static_cast<char>('0' + n % 10);
  }
  return table;
}();

// n < 10^4, which is an index on every system, the 32-bit page's engine's too.
char* WriteFourDigits(char* out, std::uint64_t n) {
  std::memcpy(out, &kFourDigits[4 * static_cast<std::size_t>(n)], 4);
  return out + 4;
}

char* WriteEightDigits(char* out, std::uint64_t n) {
  out = WriteFourDigits(out, n / 10000);
  return WriteFourDigits(out, n % 10000);
}

// n < 10^4, without leading zeros. Copies four bytes whatever the length: up to kWordSpill past
// the number, from the table's next entry.
char* WriteUpToFourDigits(char* out, std::uint64_t n) {
  const std::size_t length = n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1;
  std::memcpy(out, &kFourDigits[4 * static_cast<std::size_t>(n) + 4 - length], 4);
  return out + length;
}

// n < 10^8, without leading zeros.
char* WriteUpToEightDigits(char* out, std::uint64_t n) {
  if (n < 10000) {
    return WriteUpToFourDigits(out, n);
  }
  out = WriteUpToFourDigits(out, n / 10000);
  return WriteFourDigits(out, n % 10000);
}

constexpr std::uint64_t kTenTo4 = 10'000;
constexpr std::uint64_t kTenTo8 = 100'000'000;
constexpr std::uint64_t kTenTo12 = kTenTo8 * kTenTo4;
constexpr std::uint64_t kTenTo16 = kTenTo8 * kTenTo8;

// The leading digits are copied whole: all of the copy stays within the running total's room.
static_assert(sizeof(RunningTotal::leading) <= kDecimalRoom);

// WriteRunningTotal, which the echo's WriteRunningTotals inlines.
inline char* PutRunningTotal(char* out, const RunningTotal& total) {
  std::memcpy(out, total.leading.data(), total.leading.size());
  out += total.leading_length;
  const std::uint64_t last = total.value - total.base;
  switch (total.last) {
    case 0:
      return out;
    case 4:
      return WriteFourDigits(out, last);
    case 8:
      return WriteEightDigits(out, last);
    default:
      return WriteEightDigits(WriteFourDigits(out, last / kTenTo8), last % kTenTo8);
  }
}

constexpr std::array<std::string_view, 3> kAmountLabels = {" Metal, ", " Cristal, ",
                                                           " Deuterium.\n"};

// Lines up to this long are copied into the echo; longer ones go to the sink as they are.
constexpr std::size_t kCopiedLineSize = 4096;

// The echo of one line, but for the line itself: its amounts, each written in its room, the
// messages and the totals line, and the bytes past its end that the last writer may write.
constexpr std::size_t kMaxLineEcho = 512;
static_assert(kMaxLineEcho >= 3 * (kAmountEchoRoom + kAmountLabels[1].size()) +
                                  kLineNotRead.size() + kLineNotReadEnd.size() +
                                  kNumbersRead.size() + kDecimalRoom + kNumbersReadEnd.size() + 10 +
                                  kMaxTotalsLength);

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

// Room for the echo of any line: the same for all, which costs less to make sure of than each
// line's own.
char* LineEchoRoom(Echo& echo) {
  return Room(echo, kMaxLineEcho + kCopiedLineSize);
}

// Whether the line's echo copies the line, which it shows when the line lacks a number.
bool CopiesLine(std::string_view line, std::size_t numbers) {
  return numbers < 3 && line.size() <= kCopiedLineSize;
}

// After the line's amounts, written at `out` in LineEchoRoom: the messages that the line lacks
// some, then the running totals, which `WriteTotalsOf` writes.
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

// Reads the amount at `text`, the `index`th of its line, echoes it at `out` with its label and
// adds it to its running total; returns the end of the echo.
template <std::size_t index>
char* EchoAmount(std::array<RunningTotal, 3>& running, char* out, const char* text) {
  const ScannedAmount amount = ReadAmount(text, out);
  AddTo(std::get<index>(running), amount.value);
  return Put(amount.echo_end, std::get<index>(kAmountLabels));
}

}  // namespace

char* WriteDecimal(char* out, std::uint64_t value) {
  if (value < kTenTo8) {
    return WriteUpToEightDigits(out, value);
  }
  if (value < kTenTo16) {
    out = WriteUpToEightDigits(out, value / kTenTo8);
    return WriteEightDigits(out, value % kTenTo8);
  }
  out = WriteUpToEightDigits(out, value / kTenTo16);
  out = WriteEightDigits(out, value / kTenTo8 % kTenTo8);
  return WriteEightDigits(out, value % kTenTo8);
}

RunningTotal RunningTotalOf(std::uint64_t value) {
  // The last digits are written whole, so the leading ones must hold one that is not 0.
  const std::size_t last = value >= kTenTo12 ? 12 : value >= kTenTo8 ? 8 : value >= kTenTo4 ? 4 : 0;
  const std::uint64_t power = last == 12 ? kTenTo12 : last == 8 ? kTenTo8 : last == 4 ? kTenTo4 : 1;
  RunningTotal total;
  total.value = value;
  total.base = value / power * power;
  const std::uint64_t above_base = std::numeric_limits<std::uint64_t>::max() - total.base;
  total.span = above_base < power ? above_base + 1 : power;
  total.last = last;
  // value / power is below 10^8, which WriteDecimal writes in at most 8 bytes, and 3 past them.
  total.leading_length = static_cast<std::size_t>(
      WriteDecimal(total.leading.data(), value / power) - total.leading.data());
  return total;
}

void RenewRunningTotal(RunningTotal& total) {
  total = RunningTotalOf(total.value);
}

char* WriteRunningTotal(char* out, const RunningTotal& total) {
  return PutRunningTotal(out, total);
}

char* WriteRunningTotals(char* out, const std::array<RunningTotal, 3>& totals) {
  return WriteTotals<PutRunningTotal>(out, totals);
}

std::array<RunningTotal, 3> RunningTotalsOf(const std::array<std::uint64_t, 3>& totals) {
  return {RunningTotalOf(totals[0]), RunningTotalOf(totals[1]), RunningTotalOf(totals[2])};
}

std::array<std::uint64_t, 3> ValuesOf(const std::array<RunningTotal, 3>& running) {
  return {running[0].value, running[1].value, running[2].value};
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

void EchoLine(Echo& echo, std::string_view line, std::span<const std::uint64_t> amounts,
              const std::array<std::uint64_t, 3>& totals) {
  char* out = LineEchoRoom(echo);
  for (std::size_t i = 0; i < amounts.size(); ++i) {
    out = Put(WriteDecimal(out, amounts[i]), kAmountLabels.at(i));
  }
  EchoLineEnd<WriteTotals<WriteDecimal, std::uint64_t>>(echo, out, line, amounts.size(), totals);
}

void EchoScannedLine(Echo& echo, std::array<RunningTotal, 3>& running, std::string_view line,
                     const std::array<std::size_t, 3>& starts, std::size_t numbers) {
  char* out = LineEchoRoom(echo);
  if (numbers > 0) {
    out = EchoAmount<0>(running, out, line.data() + starts[0]);
  }
  if (numbers > 1) {
    out = EchoAmount<1>(running, out, line.data() + starts[1]);
  }
  if (numbers > 2) {
    out = EchoAmount<2>(running, out, line.data() + starts[2]);
  }
  EchoLineEnd<WriteRunningTotals>(echo, out, line, numbers, running);
}
