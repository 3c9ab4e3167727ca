// The results of a run, once its report is read: numbers grouped by thousands, the "Rentabilite :"
// summary and the forum block, put together by ResultsOf for both faces of the program. The
// console program prints the summary with PrintfIntResult and appends the block with SaveResult
// (reading_file.cpp); the page gives them back to its script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/echo.hpp"
#include "messages/messages.hpp"
#include "text/text.hpp"

class ReportFile;
struct ReadOutcome;
struct ResourceTotals;

inline constexpr std::size_t kMaxDotedLength = kMaxDecimalLength + (kMaxDecimalLength - 1) / 3;

// Writes `value` with a '.' between groups of three digits (0, 999, 1.000, 12.345.678), at most
// kMaxDotedLength bytes and nothing past them; returns the end of what it wrote.
char* WriteDoted(char* out, std::uint64_t value);

// Appends `value` to `out` in grouped decimal, as WriteDoted writes it.
void PrintDoted(std::string& out, std::uint64_t value);

// Appends the forum block of the totals to `out`, its lines ended by `line_end`.
void PrintFormated(std::string& out, std::string_view line_end, std::uint64_t metal,
                   std::uint64_t crystal, std::uint64_t deuterium);

// What a run gives after its echo, in this order: the summary, then the block or the reason why
// none can follow the reading (a read error, a line too long, a file that is not text), since a
// block is only ever the totals of the whole file, read as text.
struct RunResults {
  std::string summary;
  std::optional<Message> why_no_block;
  std::string block;     // from [center] to [/center], lines ended by LF
  std::string appended;  // the bytes to append to the file: its line ends, in its encoding
};

// The results of a reading that found `totals`, for a file whose lines end with `line_ends`.
RunResults ResultsOf(const ReadOutcome& reading, const ResourceTotals& totals,
                     const LineEnds& line_ends);

// Prints the summary on standard output.
void PrintfIntResult(const RunResults& results);

// Appends the block to the report file that `report` read, provided that the file is still as the
// reading found it. Takes the file and lets it go before any ending, so that another run over it
// need not wait for this one's prompt. Ends the process with status kFileFailure, after saying
// why, when no block can be added, the reading's reason first; what part of the block reached
// the file is then taken back. Returns 0.
int SaveResult(ReportFile report, const RunResults& results, const char* path);
