#include "report_reader.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "forum_block.hpp"
#include "messages.hpp"
#include "report_file.hpp"
#include "result_output.hpp"

namespace {

constexpr std::array<std::string_view, 3> kAmountLabels = {" Metal, ", " Cristal, ",
                                                           " Deuterium.\n"};

// The echo is written in pieces of about this size: large enough to cost few writes, small
// enough to stay in the processor's cache. Longer texts, such as a long line, are written
// without being copied.
constexpr std::size_t kEchoFlushSize = std::size_t{64} * 1024;

// Bytes read at a time.
constexpr std::size_t kReadSize = std::size_t{128} * 1024;

// The echo of one line, but for the line itself: its amounts, the messages and the totals line.
constexpr std::size_t kMaxLineEcho = 3 * (kMaxDecimalLength + 16) + 100 + kMaxTotalsLength;

bool IsDigit(char byte) {
  return static_cast<unsigned char>(byte) - unsigned{'0'} < 10U;
}

// The bytes of `word` that are ASCII digits, each marked by its high bit, by arithmetic that
// cannot carry from one byte into the next.
std::uint64_t DigitBytes(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x01010101'01010101;
  constexpr std::uint64_t kLow7 = kOnes * 0x7F;
  const std::uint64_t low7 = word & kLow7;
  const std::uint64_t below_colon = kOnes * (127 + ':') - low7;  // high bit: byte < ':'
  const std::uint64_t above_slash = low7 + kOnes * (127 - '/');  // high bit: byte > '/'
  return below_colon & above_slash & ~word & (kOnes * 0x80);
}

// The index of the first digit at or after `position`, or the line's size when there is none.
// Report lines are mostly words, so the bytes are tested eight at a time.
std::size_t FindDigit(std::string_view line, std::size_t position) {
  constexpr bool kLittleEndian = std::endian::native == std::endian::little;
  for (; kLittleEndian && position + 8 <= line.size(); position += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, line.data() + position, sizeof word);
    if (const std::uint64_t digits = DigitBytes(word); digits != 0) {
      return position + static_cast<std::size_t>(std::countr_zero(digits) / 8);
    }
  }
  while (position < line.size() && !IsDigit(line[position])) {
    ++position;
  }
  return position;
}

void EchoLine(Echo& echo, std::string_view line, const LineAmounts& found,
              const ResourceTotals& totals) {
  std::array<char, kMaxLineEcho> text;
  char* out = text.data();
  for (std::size_t i = 0; i < found.count; ++i) {
    out = WriteDecimal(out, found.amounts[i]);
    out = Put(out, kAmountLabels[i]);
  }
  if (found.count < found.amounts.size()) {
    out = Put(out, kLineNotRead);
    Emit(echo, std::string_view(text.data(), out));
    Emit(echo, line);
    out = Put(Put(text.data(), kLineNotReadEnd), kNumbersRead);
    out = WriteDecimal(out, found.count);
    out = Put(out, kNumbersReadEnd);
  }
  out = Put(out, "Total : ");
  out = WriteTotals<WriteDecimal>(out, totals.metal, totals.crystal, totals.deuterium);
  out = Put(out, "\n\n");
  Emit(echo, std::string_view(text.data(), out));
}

struct FreeMemory {
  void operator()(char* memory) const { std::free(memory); }  // NOLINT: grown with realloc
};

// The bytes of the lines being read. It grows by a quarter at a time, with realloc, which moves
// large blocks without copying them, so that a long line is held once.
struct LineBuffer {
  std::unique_ptr<char[], FreeMemory> data;
  std::size_t capacity = 0;
};

// Makes room for `needed` bytes; false when the memory left cannot hold them.
bool Reserve(LineBuffer& buffer, std::size_t needed) {
  if (needed <= buffer.capacity) {
    return true;
  }
  const std::size_t capacity = std::max(needed, buffer.capacity + buffer.capacity / 4);
  auto* grown = static_cast<char*>(std::realloc(buffer.data.get(), capacity));  // NOLINT
  if (grown == nullptr) {
    return false;
  }
  static_cast<void>(buffer.data.release());
  buffer.data.reset(grown);
  buffer.capacity = capacity;
  return true;
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

}  // namespace

ReadOutcome ReadReport(const ReadSome& read_some, const LineEnds& line_ends, ResourceTotals& totals,
                       const EchoSink& sink) {
  ReadOutcome outcome;
  Echo echo{sink, {}};
  echo.pending.reserve(kEchoFlushSize);
  TextSource source{read_some, outcome, {}, {}};
  LineBuffer buffer;
  if (!Reserve(buffer, kReadSize)) {
    outcome.line_too_long = true;
    return outcome;
  }
  std::size_t filled = ReadStart(source, buffer.data.get());
  std::size_t scanned = 0;  // the first bytes of the buffer, known to hold no line end
  for (bool at_end = false; !outcome.read_error && !at_end;) {
    if (!Reserve(buffer, filled + kReadSize + kMaxUtf8Length)) {
      outcome.line_too_long = true;
      break;
    }
    const std::ptrdiff_t count = ReadText(source, buffer.data.get() + filled, at_end);
    if (count < 0) {
      outcome.read_error = true;  // and the line it cut short is dropped
      break;
    }
    filled += static_cast<std::size_t>(count);
    char* start = buffer.data.get();
    // A NUL ends the reading at once, as if the file ended there: a picture or a disk image, which
    // may be larger than the memory, is never held whole.
    if (std::memchr(start + scanned, '\0', filled - scanned) != nullptr) {
      outcome.not_text = true;
      at_end = true;
    }
    std::size_t line_start = 0;
    for (const void* newline = nullptr;
         (newline = std::memchr(start + scanned, '\n', filled - scanned)) != nullptr;) {
      scanned = static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1;
      ReadLine(AsTextLine(start + line_start, scanned - line_start, line_ends), totals, echo);
      line_start = scanned;
    }
    if (at_end && line_start != filled) {
      ReadLine(AsTextLine(start + line_start, filled - line_start, line_ends), totals, echo);
    }
    if (line_start != 0) {  // a line longer than what came so far stays where it is
      filled -= line_start;
      std::memmove(start, start + line_start, filled);
    }
    scanned = filled;
  }
  Flush(echo);
  return outcome;
}

void Emit(Echo& echo, std::string_view text) {
  if (echo.pending.size() + text.size() > kEchoFlushSize) {
    Flush(echo);
  }
  if (text.size() >= kEchoFlushSize) {
    echo.sink(text);
    return;
  }
  echo.pending += text;
}

void Flush(Echo& echo) {
  if (!echo.pending.empty()) {
    echo.sink(echo.pending);
    echo.pending.clear();
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
  totals.metal += found.amounts[0];
  totals.crystal += found.amounts[1];
  totals.deuterium += found.amounts[2];
  EchoLine(echo, line, found, totals);
}

std::uint64_t DotedToInt(std::string_view line, std::size_t& position) {
  std::uint64_t value = 0;
  std::size_t i = position;
  for (;;) {
    for (; i < line.size() && IsDigit(line[i]); ++i) {
      value = value * 10 + static_cast<unsigned char>(line[i]) - '0';  // wraps past 2^64 - 1
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
