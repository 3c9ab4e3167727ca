// Byte masks: where, in 64 bytes of text, stand the bytes that the reading looks for, one bit a
// byte. The reading finds its line ends and its numbers from them, 64 bytes at a time instead of
// byte after byte. Vector code for x86-64 (SSE2, and AVX2 or AVX-512BW where the processor has
// them), and a plain twin for any processor; all give the same masks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Bit i of each mask stands for byte i.
struct ByteMasks {
  std::uint64_t line_ends = 0;  // LF
  std::uint64_t digits = 0;     // '0' to '9'
  std::uint64_t dots = 0;
  std::uint64_t brackets = 0;  // '[', which starts every line of a forum block
  std::uint64_t nuls = 0;
};

// Writes the masks of the `count` blocks of 64 bytes from `text` to `masks`.
using FindBytes = void (*)(const char* text, std::size_t count, ByteMasks* masks);

// The fastest way that this processor runs.
FindBytes FastestFindBytes();

// Every way that this processor runs, the plain one first, for the tests to compare.
std::span<const FindBytes> EveryFindBytes();
