#include "engine/result_output.hpp"

#include <array>

#include "engine/report_reader.hpp"
#include "forum_block/forum_block.hpp"

namespace {

std::optional<Message> WhyNoBlock(const ReadOutcome& reading) {
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

void AppendSummary(std::string& out, const ResourceTotals& totals) {
  constexpr std::string_view kHeading = "Rentabilite :\n";
  std::array<char, kHeading.size() + kMaxTotalsLength + 1> summary;
  char* end = WriteTotals<WriteDoted>(Put(summary.data(), kHeading),
                                      std::array{totals.metal, totals.crystal, totals.deuterium});
  *end++ = '\n';
  out.append(summary.data(), end);
}

}  // namespace

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

void PrintFormated(std::string& out, std::string_view line_end, std::uint64_t metal,
                   std::uint64_t crystal, std::uint64_t deuterium) {
  std::array<char, kMaxDotedLength> grouped[3];
  const auto doted = [&grouped](std::size_t i, std::uint64_t value) {
    return std::string_view(grouped[i].data(), WriteDoted(grouped[i].data(), value));
  };
  WriteBlock(out, line_end, doted(0, metal), doted(1, crystal), doted(2, deuterium));
}

RunResults ResultsOf(const ReadOutcome& reading, const ResourceTotals& totals,
                     const LineEnds& line_ends) {
  RunResults results;
  AppendSummary(results.summary, totals);
  results.why_no_block = WhyNoBlock(reading);
  if (!results.why_no_block) {
    PrintFormated(results.block, "\n", totals.metal, totals.crystal, totals.deuterium);
    results.block.erase(0, 1);  // the line end that starts it on a line of its own in the file
    std::string written;
    PrintFormated(written, line_ends.written, totals.metal, totals.crystal, totals.deuterium);
    results.appended = EncodeText(written, reading.encoding);
  }
  return results;
}
