// The results of a run: numbers grouped by thousands, the console summary and the forum block.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

// Writes `value` with a '.' between groups of three digits: 0, 999, 1.000, 12.345.678.
void PrintDoted(std::FILE* stream, std::uint64_t value);

// Prints the "Rentabilite :" summary of the totals on standard output.
void PrintfIntResult(std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium);

// Appends the forum block to the file at `path`. Ends the process with status -2, after saying
// why, when the file cannot be opened for appending or the block cannot be written; returns 0.
int SaveResult(const char* path, std::uint64_t metal, std::uint64_t crystal,
               std::uint64_t deuterium);

// Writes the forum block: centred, green, a heading picture and one icon per resource.
void PrintFormated(std::FILE* stream, std::uint64_t metal, std::uint64_t crystal,
                   std::uint64_t deuterium);

// Tells a line of a block written by PrintFormated, whatever picture host that run used, from a
// report line. For a block line, returns what follows the block's closing tags on the same line
// (empty when nothing does); for any other line, nothing.
std::optional<std::string_view> BlockLineRest(std::string_view line);
