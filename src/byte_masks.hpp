// Byte masks: where, in 64 bytes of text, stand the bytes that the reading looks for, one bit a
// byte. The reading finds its line ends and its numbers from them, 64 bytes at a time instead of
// byte after byte. Vector code for x86-64 (SSE2, and AVX2 or AVX-512BW where the processor has
// them), and a plain twin for any processor; all give the same masks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

inline constexpr std::uint64_t kEveryByte = 0x01010101'01010101;
inline constexpr std::uint64_t kHighBits = kEveryByte * 0x80;

// The eight bytes at `text` as one word, the first in its lowest byte, whatever the processor's
// byte order: the word that DigitBytes and the other byte tests take.
inline std::uint64_t LoadWord(const char* text) {
  std::uint64_t word = 0;
  std::memcpy(&word, text, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

// The bytes of `word` that are ASCII digits, each marked by its high bit, by arithmetic that
// cannot carry from one byte into the next.
constexpr std::uint64_t DigitBytes(std::uint64_t word) {
  const std::uint64_t low7 = word & ~kHighBits;
  const std::uint64_t below_colon = kEveryByte * (127 + ':') - low7;  // high bit: byte < ':'
  const std::uint64_t above_slash = low7 + kEveryByte * (127 - '/');  // high bit: byte > '/'
  return below_colon & above_slash & ~word & kHighBits;
}

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
