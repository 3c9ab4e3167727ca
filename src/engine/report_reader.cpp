#include "engine/report_reader.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/line_scan.hpp"
#include "forum_block/forum_block.hpp"

namespace {

// Bytes read at a time.
constexpr std::size_t kReadSize = std::size_t{128} * 1024;

// Reads land at the same place within a page of memory as their bytes have within the file's
// pages, which lets the system copy them fastest.
constexpr std::size_t kPageSize = 4096;

// The index of the first digit at or after `position`, or the line's size when there is none.
std::size_t FindDigit(std::string_view line, std::size_t position) {
  const auto* const digit =
      std::find_if(line.begin() + static_cast<std::ptrdiff_t>(position), line.end(),
                   [](char byte) { return DigitValue(byte) < 10; });
  return static_cast<std::size_t>(digit - line.begin());
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

// The reading of one report: its line ends, the totals so far as the echo writes them, the echo,
// and the scan.
struct Reading {
  const LineEnds& line_ends;
  std::array<RunningTotal, 3> running;
  Echo echo;
  LineScan scan;
};

ResourceTotals TotalsOf(const std::array<RunningTotal, 3>& running) {
  const std::array<std::uint64_t, 3> values = ValuesOf(running);
  return {values[0], values[1], values[2]};
}

// When `line` is a line of a block that an earlier run appended, reads it, and any report after
// its closing tags, with ReadLine and the running totals, and says so. Out of line, as Emit, Flush
// and RenewRunningTotal are, so that the room these seldom-taken ways need, which a stack check
// would guard, is not set up for every line.
[[gnu::noinline]] bool ReadIfBlockLine(Reading& reading, std::string_view line) {
  if (!BlockLineRest(line).has_value()) {
    return false;
  }
  ResourceTotals totals = TotalsOf(reading.running);
  ReadLine(line, totals, reading.echo);
  reading.running = RunningTotalsOf({totals.metal, totals.crystal, totals.deuterium});
  return true;
}

// A line that the scan hands over, read as ReadLine reads it, with the numbers that the scan found.
void ReadScannedLine(Reading& reading, const ScannedLine& scanned) {
  const std::string_view line = AsTextLine(scanned.text, scanned.size, reading.line_ends);
  if (!scanned.may_be_block_line || !ReadIfBlockLine(reading, line)) [[likely]] {
    EchoScannedLine(reading.echo, reading.running, line, scanned.number_starts, scanned.numbers);
  }
}

// The text read so far, in its buffer: `filled` bytes, of which the first `scanned` were scanned.
struct ReportText {
  LineBuffer buffer;
  std::size_t filled = 0;
  std::size_t scanned = 0;
};

// Reads the next piece of the text and every line that ends in it; false once the reading ended,
// at the end of the text, at a NUL, on a read error or when the memory left cannot hold the line.
bool ReadNextPiece(Reading& reading, TextSource& source, ReportText& report_text) {
  LineBuffer& buffer = report_text.buffer;
  if (!Reserve(buffer, report_text.filled + kReadSize + kMaxUtf8Length)) {
    source.outcome.line_too_long = true;
    return false;
  }
  bool at_end = false;
  const std::ptrdiff_t count = ReadText(source, TextOf(buffer) + report_text.filled, at_end);
  if (count < 0) {
    source.outcome.read_error = true;  // and the line it cut short is dropped
    return false;
  }
  const std::size_t filled = report_text.filled + static_cast<std::size_t>(count);
  char* text = TextOf(buffer);
  std::memset(text + filled, 0, kLookAhead);
  const auto read_line = [&reading](const ScannedLine& line) { ReadScannedLine(reading, line); };
  std::size_t line_start = ScanText(reading.scan, text, report_text.scanned, filled, read_line);
  // A NUL ends the reading at once, as if the file ended there: a picture or a disk image, which
  // may be larger than the memory, is never held whole.
  at_end = at_end || reading.scan.nul;
  if (at_end && line_start != filled) {
    ScanLastLine(reading.scan, text + line_start, filled - line_start, read_line);
    line_start = filled;
  }
  // A line longer than what came so far stays where it is, unless what starts it can be moved
  // where the next read lands best.
  report_text.filled = filled;
  if (line_start != 0 || filled < kPageSize) {
    report_text.filled -= line_start;
    MoveToStart(buffer, line_start, report_text.filled, source.outcome.bytes_read);
  }
  report_text.scanned = report_text.filled;
  return !at_end;
}

}  // namespace

ReadOutcome ReadReport(const ReadSome& read_some, const LineEnds& line_ends, ResourceTotals& totals,
                       const EchoSink& sink, FindBytes find_bytes) {
  ReadOutcome outcome;
  Reading reading{
      line_ends, RunningTotalsOf({totals.metal, totals.crystal, totals.deuterium}), Echo{sink}, {}};
  reading.scan.find_bytes = find_bytes;
  TextSource source{read_some, outcome, {}, {}};
  ReportText report_text;
  if (!Reserve(report_text.buffer, kReadSize + kPageSize)) {
    outcome.line_too_long = true;
    return outcome;
  }
  MoveToStart(report_text.buffer, 0, 0, 0);
  report_text.filled = ReadStart(source, TextOf(report_text.buffer));
  while (!outcome.read_error && ReadNextPiece(reading, source, report_text)) {
  }
  outcome.not_text = outcome.not_text || reading.scan.nul;
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

void ReadLine(std::string_view line, ResourceTotals& totals, Echo& echo) {
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
  EchoLine(echo, line, std::span(found.amounts.data(), found.count),
           {totals.metal, totals.crystal, totals.deuterium});
}

std::uint64_t DotedToInt(std::string_view line, std::size_t& position) {
  std::uint64_t value = 0;
  std::size_t i = position;
  for (;;) {
    for (; i < line.size() && DigitValue(line[i]) < 10; ++i) {
      value = value * 10 + DigitValue(line[i]);  // wraps past 2^64 - 1
    }
    if (i == line.size() || line[i] != '.') {
      break;
    }
    ++i;  // a dot right after a digit belongs to the number,
    if (i == line.size() || DigitValue(line[i]) >= 10) {
      break;  // which goes on only if a digit follows
    }
  }
  position = i - 1;
  return value;
}
