// Reading a file of pillage reports: the three amounts of every line, echoed with running totals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// What the raids of one run brought home. Additions wrap modulo 2^64, like the amounts themselves.
struct ResourceTotals {
  std::uint64_t metal = 0;
  std::uint64_t crystal = 0;
  std::uint64_t deuterium = 0;
};

struct ReadOutcome {
  bool read_error = false;
  bool has_nul = false;  // a picture, an archive or a UTF-16 text, not a report file
};

// Reads every line of `file`, echoes it with the running totals on standard output, and adds it
// to `totals`.
ReadOutcome ReadReport(std::FILE* file, ResourceTotals& totals);

// Reads the report file at `path`, echoes every line with the running totals on standard output,
// then prints the summary and appends the forum block to the same file. Ends the process with
// status -2 when the file cannot be read or the block cannot be added; otherwise returns 0.
int ReadingFile(const char* path);

// Scans one line, its line end included when it has one, as a block this program appended or as
// a report: adds what it holds to `totals` and appends its echo to `echo`.
void ReadLine(std::string_view line, ResourceTotals& totals, std::string& echo);

// Scans one report line: its first three numbers are the metal, crystal and deuterium of a raid.
void FindIntValues(std::string_view line, ResourceTotals& totals, std::string& echo);

// Reads the number whose first digit is at `position`, skipping a single '.' after any digit.
// Leaves `position` on the last byte consumed: the last digit, or the '.' that closed the number.
std::uint64_t DotedToInt(std::string_view line, std::size_t& position);
