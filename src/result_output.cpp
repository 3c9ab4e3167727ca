#include "result_output.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "forum_block.hpp"
#include "messages.hpp"
#include "report_reader.hpp"

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

// n < 10^4, without leading zeros. Copies four bytes whatever the length: those past the number
// come from the table's next entry, and what is written next covers them.
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

constexpr std::uint64_t kTenTo8 = 100'000'000;
constexpr std::uint64_t kTenTo16 = kTenTo8 * kTenTo8;

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

// Appends the block of `totals` to `report`, which it lets go on returning; what went wrong, if
// anything.
std::optional<Message> Save(ReportFile report, const ReadOutcome& reading,
                            const ResourceTotals& totals) {
  if (const auto problem = WhyNoBlock(reading)) {
    return problem;
  }
  std::string block;
  PrintFormated(block, kSystemLineEnds.written, totals.metal, totals.crystal, totals.deuterium);
  return report.Append(EncodeText(block, reading.encoding));
}

}  // namespace

std::optional<Message> WhyNoBlock(const ReadOutcome& reading) {
  // A block is only ever the totals of the whole file, read as text.
  if (reading.read_error) {
    return Message::kReadError;
  }
  if (reading.line_too_long) {
    return Message::kLineTooLong;
  }
  if (reading.not_text) {
    return Message::kNotText;
  }
  return std::nullopt;
}

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
  constexpr std::uint64_t kTenTo4 = 10'000;
  constexpr std::uint64_t kTenTo12 = kTenTo8 * kTenTo4;
  // The last digits are written whole, so the leading ones must hold one that is not 0.
  const std::size_t last = value >= kTenTo12 ? 12 : value >= kTenTo8 ? 8 : value >= kTenTo4 ? 4 : 0;
  const std::uint64_t power = last == 12 ? kTenTo12 : last == 8 ? kTenTo8 : last == 4 ? kTenTo4 : 1;
  RunningTotal total;
  total.value = value;
  total.base = value / power * power;
  const std::uint64_t above_base = std::numeric_limits<std::uint64_t>::max() - total.base;
  total.span = above_base < power ? above_base + 1 : power;
  total.last = last;
  // value / power is below 10^8, which WriteDecimal writes in at most 8 bytes.
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

char* WriteDoted(char* out, std::uint64_t value) {
  std::array<char, kDecimalRoom> digits;
  const auto count = static_cast<std::size_t>(WriteDecimal(digits.data(), value) - digits.data());
  for (std::size_t i = 0; i < count; ++i) {
    *out++ = digits[i];
    const std::size_t place = count - 1 - i;  // 0 for the units digit
    if (place != 0 && place % 3 == 0) {
      *out++ = '.';
    }
  }
  return out;
}

void PrintDoted(std::string& out, std::uint64_t value) {
  std::array<char, kMaxDotedLength> doted;
  out.append(doted.data(), WriteDoted(doted.data(), value));
}

void AppendSummary(std::string& out, std::uint64_t metal, std::uint64_t crystal,
                   std::uint64_t deuterium) {
  constexpr std::string_view kHeading = "Rentabilite :\n";
  std::array<char, kHeading.size() + kMaxTotalsLength + 1> summary;
  char* end =
      WriteTotals<WriteDoted>(Put(summary.data(), kHeading), std::array{metal, crystal, deuterium});
  *end++ = '\n';
  out.append(summary.data(), end);
}

void PrintfIntResult(std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium) {
  std::string summary;
  AppendSummary(summary, metal, crystal, deuterium);
  WriteOutput(Stream::kOutput, summary);
}

void PrintFormated(std::string& out, std::string_view line_end, std::uint64_t metal,
                   std::uint64_t crystal, std::uint64_t deuterium) {
  std::array<char, kMaxDotedLength> grouped[3];
  const auto doted = [&grouped](std::size_t i, std::uint64_t value) {
    return std::string_view(grouped[i].data(), WriteDoted(grouped[i].data(), value));
  };
  WriteBlock(out, line_end, doted(0, metal), doted(1, crystal), doted(2, deuterium));
}

int SaveResult(ReportFile report, const ReadOutcome& reading, const char* path, std::uint64_t metal,
               std::uint64_t crystal, std::uint64_t deuterium) {
  const std::optional<Message> problem =
      Save(std::move(report), reading, {metal, crystal, deuterium});
  if (problem) {
    Fail(*problem, path);
  }
  return 0;
}
