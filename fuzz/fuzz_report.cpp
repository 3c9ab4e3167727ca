// Arbitrary bytes as a report file, through the reading, the scanning and the summary.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "report_reader.hpp"
#include "result_output.hpp"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The echo is as long as the input; only what the program does with it is under test.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    return 1;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A stream over the input itself; fmemopen wants a non-empty buffer.
  static char empty = '\0';
  std::FILE* file =
      size == 0 ? fmemopen(&empty, 1, "r") : fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (file == nullptr) {
    return 0;
  }
  if (size == 0) {
    std::fgetc(file);  // at its end, like an empty file
  }
  ResourceTotals totals;
  const ReadOutcome outcome = ReadReport(file, totals);
  std::fclose(file);
  if (outcome.read_error) {
    __builtin_trap();  // a file in memory cannot fail to be read
  }
  PrintfIntResult(totals.metal, totals.crystal, totals.deuterium);
  return 0;
}
