// Arbitrary bytes as a report file, through the reading, the scanning and the summary. The first
// byte sets how many bytes each read gives, so that lines, numbers and UTF-16 characters are cut
// across reads anywhere.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

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
  if (size == 0) {
    return 0;
  }
  const std::size_t piece = data[0] == 0 ? size : data[0];
  std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t file_size = file.size();
  ResourceTotals totals;
  const ReadOutcome outcome = ReadReport(
      [&file, piece](char* buffer, std::size_t room) {
        const std::size_t count = std::min({room, piece, file.size()});
        std::copy_n(file.begin(), count, buffer);
        file.remove_prefix(count);
        return static_cast<std::ptrdiff_t>(count);
      },
      totals);
  // A file in memory cannot fail to be read, and every byte of it is read.
  if (outcome.read_error || outcome.line_too_long || outcome.bytes_read != file_size) {
    __builtin_trap();
  }
  PrintfIntResult(totals.metal, totals.crystal, totals.deuterium);
  return 0;
}
