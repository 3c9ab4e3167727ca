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
