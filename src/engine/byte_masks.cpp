#include "engine/byte_masks.hpp"

#include <algorithm>
#include <array>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define ULVENA_X86_64 1
#endif

namespace {

constexpr std::uint64_t kEveryByte = EveryByte<std::uint64_t>(1);
constexpr std::uint64_t kHighBits = EveryByte<std::uint64_t>(0x80);

// The bytes of `word` that are ASCII digits, each marked by its high bit, by arithmetic that
// cannot carry from one byte into the next.
constexpr std::uint64_t DigitBytes(std::uint64_t word) {
  const std::uint64_t low7 = word & ~kHighBits;
  const std::uint64_t below_colon = kEveryByte * (127 + ':') - low7;  // high bit: byte < ':'
  const std::uint64_t above_slash = low7 + kEveryByte * (127 - '/');  // high bit: byte > '/'
  return below_colon & above_slash & ~word & kHighBits;
}

// The bytes of `word` equal to `byte`, each marked by its high bit, by arithmetic that cannot
// carry from one byte into the next.
constexpr std::uint64_t BytesEqual(std::uint64_t word, unsigned char byte) {
  const std::uint64_t zero_where_equal = word ^ (kEveryByte * byte);
  return ~(((zero_where_equal & ~kHighBits) + ~kHighBits) | zero_where_equal) & kHighBits;
}

// Every byte value at every place of a word, beside bytes that are marked and bytes that are not:
// `marks` marks it exactly when `is_marked` says, and leaves the marks of the others as they were.
template <typename Marks, typename IsMarked>
constexpr bool MarksHold(Marks marks, IsMarked is_marked, unsigned char a_marked_byte) {
  for (const unsigned char beside : {a_marked_byte, static_cast<unsigned char>(0xFF)}) {
    const std::uint64_t others = marks(EveryByte<std::uint64_t>(beside));
    for (unsigned place = 0; place < 8; ++place) {
      const std::uint64_t byte_mask = std::uint64_t{0xFF} << (8 * place);
      for (unsigned byte = 0; byte < 256; ++byte) {
        const std::uint64_t word =
            (EveryByte<std::uint64_t>(beside) & ~byte_mask) | std::uint64_t{byte} << (8 * place);
        const std::uint64_t mark = is_marked(byte) ? std::uint64_t{0x80} << (8 * place) : 0;
        if (marks(word) != ((others & ~byte_mask) | mark)) {
          return false;
        }
      }
    }
  }
  return true;
}

template <unsigned char looked_for>
constexpr bool EqualMarksHold() {
  return MarksHold([](std::uint64_t word) { return BytesEqual(word, looked_for); },
                   [](unsigned byte) { return byte == looked_for; }, looked_for);
}
static_assert(MarksHold(
    DigitBytes, [](unsigned byte) { return byte >= '0' && byte <= '9'; }, '5'));
static_assert(EqualMarksHold<'\n'>() && EqualMarksHold<'.'>() && EqualMarksHold<'['>() &&
              EqualMarksHold<'\0'>());

// The high bits of the eight bytes of `marks`, as eight bits, byte 0 lowest: the multiplication
// moves each to its place among the top eight bits, and no two of its products overlap.
constexpr std::uint64_t Gather(std::uint64_t marks) {
  constexpr std::uint64_t kGatherer = 0x01020408'10204080;
  return ((marks >> 7U) * kGatherer) >> 56U;
}

// Every set of high bits.
constexpr bool GatherHolds() {
  for (std::uint64_t bits = 0; bits < 256; ++bits) {
    std::uint64_t marks = 0;
    for (unsigned i = 0; i < 8; ++i) {
      marks |= ((bits >> i) & 1U) << (8 * i + 7);
    }
    if (Gather(marks) != bits) {
      return false;
    }
  }
  return true;
}
static_assert(GatherHolds());

ByteMasks MasksPlain(const char* text) {
  ByteMasks masks;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::uint64_t word = LoadWord<std::uint64_t>(text + 8 * i);
    const std::size_t shift = 8 * i;
    masks.line_ends |= Gather(BytesEqual(word, '\n')) << shift;
    masks.digits |= Gather(DigitBytes(word)) << shift;
    masks.dots |= Gather(BytesEqual(word, '.')) << shift;
    masks.brackets |= Gather(BytesEqual(word, '[')) << shift;
    masks.nuls |= Gather(BytesEqual(word, '\0')) << shift;
  }
  return masks;
}

void FindBytesPlain(const char* text, std::size_t count, ByteMasks* masks) {
  for (std::size_t i = 0; i < count; ++i) {
    masks[i] =
        MasksPlain(text + 64 * i);  // NOLINT(cppcoreguidelines-pro-bounds-pointer-arithmetic)
  }
}

#ifdef ULVENA_X86_64

std::uint64_t Bits16(__m128i marks) {
  return static_cast<std::uint16_t>(_mm_movemask_epi8(marks));
}

ByteMasks MasksSse2(const char* text) {
  ByteMasks masks;
  for (std::size_t i = 0; i < 4; ++i) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * i));  // NOLINT
    const std::size_t shift = 16 * i;
    // Signed comparisons: bytes of 0x80 and above are below '0'.
    const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                         _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    masks.line_ends |= Bits16(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))) << shift;
    masks.digits |= Bits16(digits) << shift;
    masks.dots |= Bits16(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))) << shift;
    masks.brackets |= Bits16(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('['))) << shift;
    masks.nuls |= Bits16(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())) << shift;
  }
  return masks;
}

__attribute__((target("avx2"))) std::uint64_t Bits32(__m256i marks) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(marks));
}

__attribute__((target("avx2"))) ByteMasks MasksAvx2(const char* text) {
  ByteMasks masks;
  for (std::size_t i = 0; i < 2; ++i) {
    const __m256i bytes =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + 32 * i));  // NOLINT
    const std::size_t shift = 32 * i;
    const __m256i digits = _mm256_and_si256(_mm256_cmpgt_epi8(bytes, _mm256_set1_epi8('0' - 1)),
                                            _mm256_cmpgt_epi8(_mm256_set1_epi8('9' + 1), bytes));
    masks.line_ends |= Bits32(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'))) << shift;
    masks.digits |= Bits32(digits) << shift;
    masks.dots |= Bits32(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('.'))) << shift;
    masks.brackets |= Bits32(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('['))) << shift;
    masks.nuls |= Bits32(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256())) << shift;
  }
  return masks;
}

// AVX-512BW compares 64 bytes at once, each into a mask of 64 bits.
__attribute__((target("avx512bw"))) ByteMasks MasksAvx512(const char* text) {
  const __m512i bytes = _mm512_loadu_si512(text);
  ByteMasks masks;
  masks.line_ends = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n'));
  masks.digits =
      _mm512_cmplt_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
  masks.dots = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('.'));
  masks.brackets = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('['));
  masks.nuls = _mm512_cmpeq_epi8_mask(bytes, _mm512_setzero_si512());
  return masks;
}

void FindBytesSse2(const char* text, std::size_t count, ByteMasks* masks) {
  for (std::size_t i = 0; i < count; ++i) {
    masks[i] = MasksSse2(text + 64 * i);  // NOLINT(cppcoreguidelines-pro-bounds-pointer-arithmetic)
  }
}

__attribute__((target("avx2"))) void FindBytesAvx2(const char* text, std::size_t count,
                                                   ByteMasks* masks) {
  for (std::size_t i = 0; i < count; ++i) {
    masks[i] = MasksAvx2(text + 64 * i);  // NOLINT(cppcoreguidelines-pro-bounds-pointer-arithmetic)
  }
}

__attribute__((target("avx512bw"))) void FindBytesAvx512(const char* text, std::size_t count,
                                                         ByteMasks* masks) {
  for (std::size_t i = 0; i < count; ++i) {
    masks[i] =
        MasksAvx512(text + 64 * i);  // NOLINT(cppcoreguidelines-pro-bounds-pointer-arithmetic)
  }
}

std::array<FindBytesWay, 4> WaysBuilt() {
  return {{{"plain", FindBytesPlain, true},
           {"SSE2", FindBytesSse2, true},
           {"AVX2", FindBytesAvx2, static_cast<bool>(__builtin_cpu_supports("avx2"))},
           {"AVX-512BW", FindBytesAvx512, static_cast<bool>(__builtin_cpu_supports("avx512bw"))}}};
}

#else

std::array<FindBytesWay, 1> WaysBuilt() {
  return {{{"plain", FindBytesPlain, true}}};
}

#endif

}  // namespace

std::span<const FindBytesWay> EveryFindBytes() {
  static const auto ways = WaysBuilt();
  return ways;
}

FindBytes FastestFindBytes() {
  const std::span<const FindBytesWay> ways = EveryFindBytes();
  return std::find_if(ways.rbegin(), ways.rend(),
                      [](const FindBytesWay& way) { return way.runs_here; })
      ->find_bytes;
}
