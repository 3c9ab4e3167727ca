#include "report_reader.hpp"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "result_output.hpp"

namespace {

constexpr std::array<std::string_view, 3> kAmountLabels = {" Metal, ", " Cristal, ",
                                                           " Deuterium.\n"};

// The echo is written in pieces of about this size: large enough to cost few writes, small
// enough to stay in the processor's cache.
constexpr std::size_t kEchoFlushSize = std::size_t{64} * 1024;

// Bytes read at a time; the buffer doubles whenever a single line does not fit.
constexpr std::size_t kFirstReadSize = std::size_t{1} << 20;

struct ReadOutcome {
  bool read_error = false;
  bool has_nul = false;  // a picture, an archive or a UTF-16 text, not a report file
};

bool IsDigit(char byte) {
  return byte >= '0' && byte <= '9';
}

bool IsLineEnd(std::string_view text) {
  return text.empty() || text == "\n" || text == "\r\n";
}

void AppendDecimal(std::string& out, std::uint64_t value) {
  std::array<char, 20> digits{};
  const auto end = std::to_chars(digits.begin(), digits.end(), value).ptr;
  out.append(digits.begin(), end);
}

void FlushEcho(std::string& echo) {
  std::fwrite(echo.data(), 1, echo.size(), stdout);
  echo.clear();
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
    const char* fresh = buffer.get() + filled;
    outcome.has_nul = outcome.has_nul || std::memchr(fresh, '\0', got) != nullptr;

    const char* line_start = buffer.get();
    const char* end = fresh + got;
    for (const char* search = fresh; search != end;) {
      const auto* newline = static_cast<const char*>(
          std::memchr(search, '\n', static_cast<std::size_t>(end - search)));
      if (newline == nullptr) {
        break;
      }
      search = newline + 1;
      on_line(std::string_view(line_start, static_cast<std::size_t>(search - line_start)));
      line_start = search;
    }
    filled = static_cast<std::size_t>(end - line_start);

    if (got < wanted) {
      outcome.read_error = std::ferror(file) != 0;
      if (!outcome.read_error && filled != 0) {
        on_line(std::string_view(line_start, filled));
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

int ReadingFile(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) {
    std::printf("ERROR : \"%s\" can't be open in reading mode.\n", path);
    std::exit(-2);
  }

  ResourceTotals totals;
  std::string echo;
  echo.reserve(2 * kEchoFlushSize);
  const ReadOutcome outcome = ForEachLine(file, [&totals, &echo](std::string_view line) {
    ReadLine(line, totals, echo);
    if (echo.size() >= kEchoFlushSize) {
      FlushEcho(echo);
    }
  });
  std::fclose(file);
  FlushEcho(echo);

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
  std::array<std::uint64_t, 3> amounts{};
  std::size_t found = 0;
  for (std::size_t position = 0; position < line.size() && found < amounts.size(); ++position) {
    if (IsDigit(line[position])) {
      amounts[found] = DotedToInt(line, position);
      AppendDecimal(echo, amounts[found]);
      echo += kAmountLabels[found];
      ++found;
    }
  }
  if (found < amounts.size()) {
    echo += "ERROR : la ligne ne peut etre lu : \"";
    echo += line;
    echo += "\"\nWARNING : seul ";
    AppendDecimal(echo, found);
    echo += " nombre a ete lu !!\n";
  }

  totals.metal += amounts[0];
  totals.crystal += amounts[1];
  totals.deuterium += amounts[2];
  echo += "Total : Metal=";
  AppendDecimal(echo, totals.metal);
  echo += ", Cristal=";
  AppendDecimal(echo, totals.crystal);
  echo += ", Deuterium=";
  AppendDecimal(echo, totals.deuterium);
  echo += "\n\n";
}

std::uint64_t DotedToInt(std::string_view line, std::size_t& position) {
  std::uint64_t value = 0;
  std::size_t i = position;
  while (i < line.size() && IsDigit(line[i])) {
    value = value * 10 + static_cast<std::uint64_t>(line[i] - '0');  // wraps past 2^64 - 1
    ++i;
    if (i < line.size() && line[i] == '.') {
      ++i;
    }
  }
  position = i - 1;
  return value;
}
