// PrintDoted against std::to_string: the same digits, with a dot before every group of three.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/result_output.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint64_t value = 0;
  std::memcpy(&value, data, size < sizeof value ? size : sizeof value);

  std::string doted;
  PrintDoted(doted, value);

  const std::string digits = std::to_string(value);
  std::string expected;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) {
      expected += '.';
    }
    expected += digits[i];
  }
  if (doted != expected) {
    std::fprintf(stderr, "PrintDoted(%s) wrote %s\n", digits.c_str(), doted.c_str());
    std::abort();
  }
  return 0;
}
