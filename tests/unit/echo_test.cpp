#include "engine/echo.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

std::string Written(char* (*write)(char*, const RunningTotal&), const RunningTotal& total) {
  std::array<char, kDecimalRoom> text;
  return {text.data(), write(text.data(), total)};
}

TEST(RunningTotal, WritesWhatWriteDecimalWritesAcrossEveryChangeOfLeadingDigits) {
  struct Case {
    std::uint64_t start;
    std::uint64_t step;
  };
  // Each step crosses or lands on a power of ten, a new run of leading digits, or 2^64.
  const std::array cases = {Case{0, 0},
                            Case{0, 1},
                            Case{9'990, 3},
                            Case{99'999'990, 7},
                            Case{123'456'789'999, 250'000'000},
                            Case{999'999'999'990, 3},
                            Case{9'999'999'999'999'999'990U, 4},
                            Case{18'446'744'073'709'551'600U, 7},
                            Case{5, 18'446'744'073'709'551'615U}};
  const auto decimal = [](std::uint64_t value) {
    std::array<char, kDecimalRoom> text;
    return std::string(text.data(), WriteDecimal(text.data(), value));
  };
  for (const Case& c : cases) {
    RunningTotal total = RunningTotalOf(c.start);
    std::uint64_t value = c.start;
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(Written(WriteRunningTotal, total), decimal(value)) << c.start << " + " << c.step;
      AddTo(total, c.step);
      value += c.step;
    }
  }
}

}  // namespace
