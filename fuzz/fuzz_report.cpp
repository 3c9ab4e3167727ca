// Arbitrary bytes as a report, through the reading, the scanning, the summary and the block. The
// first byte sets how many bytes each read gives, so that lines, numbers and UTF-16 characters are
// cut across reads anywhere; the echo and the totals must be those of the report read whole, and
// those of its lines read one by one by the plain scanner, unless a NUL ends the reading; every way
// of finding bytes must find the same.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/byte_masks.hpp"
#include "engine/report_reader.hpp"
#include "engine/result_output.hpp"

namespace {

struct Read {
  ResourceTotals totals;
  ReadOutcome outcome;
  std::string echo;
};

Read ReadInPieces(std::string_view file, std::size_t piece) {
  Read read;
  read.outcome = ReadReport(ReadFromMemory(file, piece), kWindowsLineEnds, read.totals,
                            [&read](std::string_view text) { read.echo += text; });
  return read;
}

// The report read line by line with ReadLine, which scans without the byte masks.
Read ReadLineByLine(std::string_view file) {
  Read read;
  Echo echo{[&read](std::string_view text) { read.echo += text; }};
  while (!file.empty()) {
    const std::size_t end = std::min(file.find('\n'), file.size() - 1) + 1;
    ReadLine(file.substr(0, end), read.totals, echo);
    file.remove_prefix(end);
  }
  Flush(echo);
  return read;
}

bool SameMasks(std::string_view file) {
  std::string blocks(file);
  blocks.resize((blocks.size() + 63) / 64 * 64);
  const std::size_t count = blocks.size() / 64;
  std::vector<ByteMasks> first(count);
  std::vector<ByteMasks> other(count);
  EveryFindBytes().front().find_bytes(blocks.data(), count, first.data());
  for (const FindBytesWay& way : EveryFindBytes()) {
    if (!way.runs_here) {
      continue;
    }
    way.find_bytes(blocks.data(), count, other.data());
    for (std::size_t i = 0; i < count; ++i) {
      if (other[i].line_ends != first[i].line_ends || other[i].digits != first[i].digits ||
          other[i].dots != first[i].dots || other[i].brackets != first[i].brackets ||
          other[i].nuls != first[i].nuls) {
        return false;
      }
    }
  }
  return true;
}

bool SameRead(const Read& one, const Read& other) {
  return one.echo == other.echo && one.totals.metal == other.totals.metal &&
         one.totals.crystal == other.totals.crystal &&
         one.totals.deuterium == other.totals.deuterium;
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
  // A file in memory cannot fail to be read, and every byte of it is read, unless a NUL ends the
  // reading with what was read by then, which the size of the pieces sets.
  const bool read_whole = !whole.outcome.not_text;
  if (read.outcome.read_error || read.outcome.line_too_long ||
      (read_whole && (read.outcome.bytes_read != file.size() || !SameRead(read, whole))) ||
      read.outcome.not_text != whole.outcome.not_text || !SameMasks(file)) {
    __builtin_trap();
  }
  // Without a byte-order mark or a CR, the bytes are the lines as the plain scanner reads them.
  if (read_whole && read.outcome.encoding == TextEncoding::kBytes &&
      file.find('\r') == std::string_view::npos && !SameRead(read, ReadLineByLine(file))) {
    __builtin_trap();
  }
  ResultsOf(read.outcome, read.totals, kWindowsLineEnds);
  return 0;
}
