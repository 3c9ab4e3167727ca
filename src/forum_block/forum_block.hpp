// The forum block: the BBCode that a run appends to its report file, centred and green, with a
// heading picture and one icon per resource. Writing it, and knowing its lines when a later run
// reads them back. Its pictures' paths come from art/pictures.txt, through the build.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Appends the block to `out`: a line end, then the block's lines, ended by `line_end`, with the
// totals as given, already grouped; it ends right after its closing tags.
void WriteBlock(std::string& out, std::string_view line_end, std::string_view metal,
                std::string_view crystal, std::string_view deuterium);

// Tells a line of a block written by WriteBlock, whatever picture host that run used, from a
// report line. For a block line, whole or cut short at any byte, returns what follows the block's
// closing tags on the same line (empty when nothing does); for any other line, nothing.
std::optional<std::string_view> BlockLineRest(std::string_view line);

// Whether a line whose one '[' stands at `bracket` may be a block line, which BlockLineRest tells;
// when not, BlockLineRest would tell it is not. With one '[', a block line is cut short within its
// first tag ("[", "[ce") or holds only closing tags ("[/"). Most such lines are coordinates
// ("[4:123:7]"), which this tells without a call.
inline bool MayBeBlockLine(std::string_view line, std::size_t bracket) {
  const char next = bracket + 1 < line.size() ? line[bracket + 1] : '\0';
  return next == '/' || (bracket == 0 && (next == 'c' || next == 'i' || next == '\0' ||
                                          next == '\n' || next == '\r'));
}
