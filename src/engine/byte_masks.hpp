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
#include <string_view>

// The bytes at `text` as one word of 4 or 8 bytes, the first in its lowest byte, whatever the
// processor's byte order: how the plain masks, and the reading's tests of digits, take the bytes
// of the text a word at a time.
template <typename Word>
Word LoadWord(const char* text) {
  static_assert(sizeof(Word) == 4 || sizeof(Word) == 8);
  Word word = 0;
  std::memcpy(&word, text, sizeof word);
  if constexpr (std::endian::native == std::endian::big && sizeof(Word) == 8) {
    word = __builtin_bswap64(word);
  } else if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap32(word);
  }
  return word;
}

// `byte` in every byte of a word of 4 or 8 bytes.
template <typename Word>
constexpr Word EveryByte(unsigned char byte) {
  return static_cast<Word>(~Word{0}) / 0xFF * byte;
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

// A way of finding the bytes, by the instructions it takes, and whether this processor has them.
struct FindBytesWay {
  std::string_view name;
  FindBytes find_bytes = nullptr;
  bool runs_here = false;
};

// Every way built for this kind of processor, the plain one first, for the tests to compare.
std::span<const FindBytesWay> EveryFindBytes();
