// Arbitrary bytes as a report, through the reading, the scanning, the summary and the block. The
// first byte sets how many bytes each read gives, so that lines, numbers and UTF-16 characters are
// cut across reads anywhere; the echo and the totals must be those of the report read whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "report_reader.hpp"
#include "result_output.hpp"

namespace {

struct Read {
  ResourceTotals totals;
  ReadOutcome outcome;
  std::string echo;
};

Read ReadInPieces(std::string_view file, std::size_t piece) {
  Read read;
  read.outcome = ReadReport(
      [&file, piece](char* buffer, std::size_t room) {
        const std::size_t count = std::min({room, piece, file.size()});
        std::copy_n(file.begin(), count, buffer);
        file.remove_prefix(count);
        return static_cast<std::ptrdiff_t>(count);
      },
      kWindowsLineEnds, read.totals, [&read](std::string_view text) { read.echo += text; });
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::size_t piece = data[0] == 0 ? size : data[0];
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  const Read read = ReadInPieces(file, piece);
  const Read whole = ReadInPieces(file, file.size() + 1);
  // A file in memory cannot fail to be read, and every byte of it is read.
  if (read.outcome.read_error || read.outcome.line_too_long ||
      read.outcome.bytes_read != file.size() || read.echo != whole.echo ||
      read.outcome.not_text != whole.outcome.not_text ||
      read.totals.metal != whole.totals.metal || read.totals.crystal != whole.totals.crystal ||
      read.totals.deuterium != whole.totals.deuterium) {
    __builtin_trap();
  }
  std::string results;
  AppendSummary(results, read.totals.metal, read.totals.crystal, read.totals.deuterium);
  PrintFormated(results, "\r\n", read.totals.metal, read.totals.crystal, read.totals.deuterium);
  return 0;
}
