// The results of a run and the program's messages: numbers in plain and grouped decimal, the
// console summary, the forum block, and the endings of a run that cannot give its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform.hpp"

// The status of a run that cannot read its file or add its block.
inline constexpr int kFileFailure = -2;

// Writes the pieces, one after the other, to standard output or standard error.
void Message(std::FILE* stream, std::initializer_list<std::string_view> pieces);

// Writes the pieces as Message does, then ends the process with status kFileFailure. The exit
// prompt follows, like every other ending.
[[noreturn]] void Fatal(std::FILE* stream, std::initializer_list<std::string_view> pieces);

inline constexpr std::size_t kMaxDecimalLength = std::numeric_limits<std::uint64_t>::digits10 + 1;
inline constexpr std::size_t kMaxDotedLength = kMaxDecimalLength + (kMaxDecimalLength - 1) / 3;

// Writes `value` in plain decimal at `out`, at most kMaxDecimalLength bytes; returns the end of
// the number. The program's one writer of digits, and the echo's busiest function: it copies
// digits four at a time, and so may write up to 3 bytes past the end of the number, which what is
// written next covers. Give it kDecimalRoom bytes.
inline constexpr std::size_t kDecimalRoom = kMaxDecimalLength + 3;
char* WriteDecimal(char* out, std::uint64_t value);

// Writes `value` with a '.' between groups of three digits (0, 999, 1.000, 12.345.678), at most
// kMaxDotedLength bytes and nothing past them; returns the end of what it wrote.
char* WriteDoted(char* out, std::uint64_t value);

// Copies `text` to `out`; returns the end of what it wrote. The output is put together this way,
// in arrays of known size, and written in one piece.
inline char* Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

// "Metal=<m>, Cristal=<c>, Deuterium=<d>", each number written by `WriteNumber`: the labels of the
// totals, for the running totals of the echo and for the summary. Writes at most kMaxTotalsLength
// bytes, and up to 3 more past the end it returns when WriteNumber does.
inline constexpr std::size_t kMaxTotalsLength = 40 + 3 * kDecimalRoom;

template <char* (*WriteNumber)(char*, std::uint64_t)>
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): metal, crystal, deuterium, as everywhere
char* WriteTotals(char* out, std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium) {
  out = WriteNumber(Put(out, "Metal="), metal);
  out = WriteNumber(Put(out, ", Cristal="), crystal);
  return WriteNumber(Put(out, ", Deuterium="), deuterium);
}

// Appends `value` to `out` in grouped decimal, as WriteDoted writes it.
void PrintDoted(std::string& out, std::uint64_t value);

// Prints the "Rentabilite :" summary of the totals on standard output.
void PrintfIntResult(std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium);

// Appends the forum block to `out`: centred, green, a heading picture and one icon per resource,
// its lines ended by `line_end`.
void PrintFormated(std::string& out, std::string_view line_end, std::uint64_t metal,
                   std::uint64_t crystal, std::uint64_t deuterium);

// How the report file's text is stored; its block is appended the same way.
enum class TextEncoding { kBytes, kUtf16LittleEndian, kUtf16BigEndian };

// Appends the forum block to the report file at `path`, in the file's encoding and with the line
// ends of a text file of this system, provided that the file is still as the reading found it
// (`read`). Ends the process with status kFileFailure, after saying why, when the file changed or
// is gone, cannot be opened for appending, or the block cannot be written whole and put on
// storage; what part of the block reached the file is then taken back. `held` is the file as the
// reading opened and holds it against other runs; it is closed at every ending. Returns 0.
int SaveResult(const char* path, int held, const FileState& read, TextEncoding encoding,
               std::uint64_t metal, std::uint64_t crystal, std::uint64_t deuterium);

// Tells a line of a block written by PrintFormated, whatever picture host that run used, from a
// report line. For a block line, whole or cut short at any byte, returns what follows the block's
// closing tags on the same line (empty when nothing does); for any other line, nothing.
std::optional<std::string_view> BlockLineRest(std::string_view line);
