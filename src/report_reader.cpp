#include "report_reader.hpp"

#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform.hpp"
#include "result_output.hpp"

namespace {

constexpr std::array<std::string_view, 3> kAmountLabels = {" Metal, ", " Cristal, ",
                                                           " Deuterium.\n"};

// The echo is written in pieces of about this size: large enough to cost few writes, small
// enough to stay in the processor's cache.
constexpr std::size_t kEchoFlushSize = std::size_t{64} * 1024;

// Bytes read at a time; the buffer doubles whenever a single line does not fit.
constexpr std::size_t kFirstReadSize = std::size_t{128} * 1024;

// FindDigit reads the first byte of a word as its lowest.
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Three amounts and the totals line, each number at its longest, with their labels, and the
// bytes that PutDecimal may write past a number.
constexpr std::size_t kMaxLineEcho = 256;

bool IsDigit(char byte) {
  return byte >= '0' && byte <= '9';
}

// The index of the first ASCII digit at or after `position`, or the line's size when there is
// none. Report lines are mostly words, so the bytes are tested eight at a time: a byte gets its
// high bit in `digits` when it lies between '0' and '9', by arithmetic that cannot carry from one
// byte into the next.
std::size_t FindDigit(std::string_view line, std::size_t position) {
  constexpr std::uint64_t kOnes = 0x01010101'01010101;
  constexpr std::uint64_t kLow7 = kOnes * 0x7F;
  for (; kLittleEndian && position + 8 <= line.size(); position += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, line.data() + position, sizeof word);
    const std::uint64_t low7 = word & kLow7;
    const std::uint64_t below_colon = kOnes * (127 + ':') - low7;  // high bit: byte < ':'
    const std::uint64_t above_slash = low7 + kOnes * (127 - '/');  // high bit: byte > '/'
    const std::uint64_t digits = below_colon & above_slash & ~word & (kOnes * 0x80);
    if (digits != 0) {
      return position + static_cast<std::size_t>(std::countr_zero(digits) / 8);
    }
  }
  while (position < line.size() && !IsDigit(line[position])) {
    ++position;
  }
  return position;
}

bool IsLineEnd(std::string_view text) {
  return text.empty() || text == "\n" || text == "\r\n";
}

// The echo of a line is put together in a small array and added to the echo in one piece; these
// write at `out` and return the end of what they wrote.
char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

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

char* PutFourDigits(char* out, std::uint64_t n) {
  std::memcpy(out, &kFourDigits[4 * n], 4);
  return out + 4;
}

char* PutEightDigits(char* out, std::uint64_t n) {
  out = PutFourDigits(out, n / 10000);
  return PutFourDigits(out, n % 10000);
}

// n < 10^4, without leading zeros. Copies four bytes whatever the length; those past the number
// come from the table's next entry, and what is written next covers them.
char* PutUpToFourDigits(char* out, std::uint64_t n) {
  const std::size_t length = n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1;
  std::memcpy(out, &kFourDigits[4 * n + 4 - length], 4);
  return out + length;
}

// n < 10^8, without leading zeros.
char* PutUpToEightDigits(char* out, std::uint64_t n) {
  if (n < 10000) {
    return PutUpToFourDigits(out, n);
  }
  out = PutUpToFourDigits(out, n / 10000);
  return PutFourDigits(out, n % 10000);
}

// The echo writes six numbers a line, which makes this the program's busiest function. May write
// up to 3 bytes past the end that it returns.
char* PutDecimal(char* out, std::uint64_t value) {
  constexpr std::uint64_t kTenTo8 = 100'000'000;
  constexpr std::uint64_t kTenTo16 = kTenTo8 * kTenTo8;
  if (value < kTenTo8) {
    return PutUpToEightDigits(out, value);
  }
  if (value < kTenTo16) {
    out = PutUpToEightDigits(out, value / kTenTo8);
    return PutEightDigits(out, value % kTenTo8);
  }
  out = PutUpToEightDigits(out, value / kTenTo16);
  out = PutEightDigits(out, value / kTenTo8 % kTenTo8);
  return PutEightDigits(out, value % kTenTo8);
}

void FlushEcho(std::string& echo) {
  std::fwrite(echo.data(), 1, echo.size(), stdout);
  echo.clear();
}

// The line as a text-mode read gives it: on Windows, a CR LF line end becomes LF. Moves the LF
// onto the CR in the buffer.
std::string_view AsTextLine(char* start, std::size_t length) {
  if (kCrLfReadsAsLf && length >= 2 && start[length - 2] == '\r' && start[length - 1] == '\n') {
    start[length - 2] = '\n';
    --length;
  }
  return {start, length};
}

// Hands every line of `file` to `on_line`, with its newline when it has one. Each line is kept
// whole however long it is, so memory grows with the longest line and never with the file.
// A partial line cut short by a read error is dropped.
template <typename OnLine>
ReadOutcome ForEachLine(std::FILE* file, OnLine on_line) {
  std::size_t capacity = kFirstReadSize;
  auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
  std::size_t filled = 0;  // bytes of a partial line at the front of the buffer, then new ones
  ReadOutcome outcome;
  for (;;) {
    const std::size_t wanted = capacity - filled;
    const std::size_t got = std::fread(buffer.get() + filled, 1, wanted, file);
    char* fresh = buffer.get() + filled;
    outcome.has_nul = outcome.has_nul || std::memchr(fresh, '\0', got) != nullptr;

    char* line_start = buffer.get();
    char* end = fresh + got;
    for (char* search = fresh; search != end;) {
      auto* newline =
          static_cast<char*>(std::memchr(search, '\n', static_cast<std::size_t>(end - search)));
      if (newline == nullptr) {
        break;
      }
      search = newline + 1;
      on_line(AsTextLine(line_start, static_cast<std::size_t>(search - line_start)));
      line_start = search;
    }
    filled = static_cast<std::size_t>(end - line_start);

    if (got < wanted) {
      outcome.read_error = std::ferror(file) != 0;
      if (!outcome.read_error && filled != 0) {
        on_line(AsTextLine(line_start, filled));
      }
      return outcome;
    }
    if (filled == capacity) {
      auto larger = std::make_unique_for_overwrite<char[]>(capacity * 2);
      std::memcpy(larger.get(), buffer.get(), filled);
      buffer = std::move(larger);
      capacity *= 2;
    } else {
      std::memmove(buffer.get(), line_start, filled);
    }
  }
}

}  // namespace

ReadOutcome ReadReport(std::FILE* file, ResourceTotals& totals) {
  std::string echo;
  echo.reserve(kEchoFlushSize + kMaxLineEcho);
  const ReadOutcome outcome = ForEachLine(file, [&totals, &echo](std::string_view line) {
    ReadLine(line, totals, echo);
    if (echo.size() >= kEchoFlushSize) {
      FlushEcho(echo);
    }
  });
  FlushEcho(echo);
  return outcome;
}

int ReadingFile(const char* path) {
  // Bytes as they are, so that nothing in the file can end the reading early; the reader
  // handles line ends itself.
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) {
    std::printf("ERROR : \"%s\" can't be open in reading mode.\n", path);
    std::exit(-2);
  }

  ResourceTotals totals;
  const ReadOutcome outcome = ReadReport(file, totals);
  std::fclose(file);

  if (outcome.read_error) {
    std::fprintf(stderr, "Erreur de lecture du fichier \"%s\"\n", path);
  }
  PrintfIntResult(totals.metal, totals.crystal, totals.deuterium);
  // The totals of a partly read file would pass for the whole file's in the block.
  if (outcome.read_error) {
    std::exit(-2);
  }
  if (outcome.has_nul) {
    std::printf("ERROR : \"%s\" is not a text file: nothing was appended.\n", path);
    std::exit(-2);
  }
  return SaveResult(path, totals.metal, totals.crystal, totals.deuterium);
}

void ReadLine(std::string_view line, ResourceTotals& totals, std::string& echo) {
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

void FindIntValues(std::string_view line, ResourceTotals& totals, std::string& echo) {
  std::array<char, kMaxLineEcho> text;
  char* out = text.data();
  std::array<std::uint64_t, 3> amounts{};
  std::size_t found = 0;
  for (std::size_t position = FindDigit(line, 0); position < line.size() && found < amounts.size();
       position = FindDigit(line, position + 1)) {
    amounts[found] = DotedToInt(line, position);
    out = PutDecimal(out, amounts[found]);
    out = Put(out, kAmountLabels[found]);
    ++found;
  }
  if (found < amounts.size()) {
    echo.append(text.data(), out);
    echo += "ERROR : la ligne ne peut etre lu : \"";
    echo += line;
    out = Put(text.data(), "\"\nWARNING : seul ");
    out = PutDecimal(out, found);
    out = Put(out, " nombre a ete lu !!\n");
  }

  totals.metal += amounts[0];
  totals.crystal += amounts[1];
  totals.deuterium += amounts[2];
  out = Put(out, "Total : Metal=");
  out = PutDecimal(out, totals.metal);
  out = Put(out, ", Cristal=");
  out = PutDecimal(out, totals.crystal);
  out = Put(out, ", Deuterium=");
  out = PutDecimal(out, totals.deuterium);
  out = Put(out, "\n\n");
  echo.append(text.data(), out);
}

std::uint64_t DotedToInt(std::string_view line, std::size_t& position) {
  std::uint64_t value = 0;
  std::size_t i = position;
  for (;;) {
    for (; i < line.size(); ++i) {
      const unsigned digit = static_cast<unsigned char>(line[i]) - unsigned{'0'};
      if (digit > 9) {
        break;
      }
      value = value * 10 + digit;  // wraps past 2^64 - 1
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
