// Reading pillage reports: the three amounts of every line, echoed with running totals. The rules
// are here: DotedToInt reads a number, FindIntValues a report line, ReadLine skips the lines of a
// block that an earlier run appended. ReadReport reads a whole report with the fast scan
// (line_scan.hpp), which must give what ReadLine gives for each of its lines; the tests hold the
// two to it, with every way of finding bytes that the processor runs. ReadReport takes a report's
// bytes and gives its echo to a sink: it touches no file and no stream, and never ends the
// process. ReadingFile runs it over a report file for the console program (reading_file.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>

#include "engine/byte_masks.hpp"
#include "engine/echo.hpp"
#include "text/text.hpp"

// What the raids of one run brought home. Additions wrap modulo 2^64, like the amounts themselves.
struct ResourceTotals {
  std::uint64_t metal = 0;
  std::uint64_t crystal = 0;
  std::uint64_t deuterium = 0;
};

// What the reading found besides the totals.
struct ReadOutcome {
  bool read_error = false;
  // A NUL byte or character, or half a UTF-16 character at the end: a picture or an archive, not
  // a report file. The reading ended with what was read when the first NUL came.
  bool not_text = false;
  bool line_too_long = false;  // for the memory left; the reading stopped there
  TextEncoding encoding = TextEncoding::kBytes;
  std::uint64_t bytes_read = 0;
};

// Gives up to `size` bytes of the report at `buffer`: how many, 0 at its end, or -1 on a read
// error.
using ReadSome = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;

// Gives `bytes`, a report already in memory, at most `piece_size` of them a read.
ReadSome ReadFromMemory(std::string_view bytes,
                        std::size_t piece_size = std::numeric_limits<std::size_t>::max());

// Reads every line of a report, given in pieces by `read_some`, with `line_ends`; adds it to
// `totals` and gives its echo, with the running totals, to `sink`. A report that begins with a
// UTF-16 byte-order mark is read as the text it holds, each line in UTF-8. Each line is held
// once, whatever its length. The byte masks are found with `find_bytes`, the fastest way this
// processor runs unless a test asks for another.
ReadOutcome ReadReport(const ReadSome& read_some, const LineEnds& line_ends, ResourceTotals& totals,
                       const EchoSink& sink, FindBytes find_bytes = FastestFindBytes());

// Reads the report file at `path`, echoes every line with the running totals on standard output,
// then prints the summary and appends the forum block to the same file. Other runs of the program
// over the same file wait until this one has ended. Ends the process with status kFileFailure,
// after saying why, when the file cannot be read or the block cannot be added; otherwise
// returns 0.
int ReadingFile(const char* path);

// Reads one line, its line end included when it has one, as a line of a block that an earlier
// run appended, which counts nothing, or as a report line: adds what it holds to `totals` and
// echoes it. A report pasted right after a block's closing tags, on the same line, still counts.
void ReadLine(std::string_view line, ResourceTotals& totals, Echo& echo);

// A report line's first three numbers, the metal, crystal and deuterium of a raid, or as many of
// them as it holds.
struct LineAmounts {
  std::array<std::uint64_t, 3> amounts{};
  std::size_t count = 0;
};

LineAmounts FindAmounts(std::string_view line);

// Scans one report line: adds its amounts to `totals` and echoes them, with the new totals.
void FindIntValues(std::string_view line, ResourceTotals& totals, Echo& echo);

// Reads the number whose first digit is at `position`, skipping a single '.' after any digit.
// Leaves `position` on the last byte consumed: the last digit, or the '.' that closed the number.
std::uint64_t DotedToInt(std::string_view line, std::size_t& position);
