// The page's exports built for this machine, over the engine's sources alone, without the
// platform's: it links only while no engine function reaches a file, a stream or the process's
// end. Reads the report file named by its first argument, as the page reads a file named by its
// second, and writes on standard output the allocation that page_read gives back, whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

extern "C" {
void* PageAlloc(std::size_t size);
void PageFree(void* memory);
char* PageRead(const char* report, std::size_t size, const char* name, std::size_t name_size);
}

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fputs("usage: page_exports REPORT NAME\n", stderr);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::string report{std::istreambuf_iterator<char>(file), {}};
  const std::size_t name_size = std::strlen(argv[2]);
  auto* input = static_cast<char*>(PageAlloc(report.size() + name_size));
  std::memcpy(input, report.data(), report.size());
  std::memcpy(input + report.size(), argv[2], name_size);
  char* result = PageRead(input, report.size(), input + report.size(), name_size);
  PageFree(input);
  if (result == nullptr) {
    return 1;
  }
  std::uint32_t sizes[3];
  std::memcpy(sizes, result, sizeof sizes);
  const std::size_t whole = sizeof sizes + sizes[0] + sizes[1] + sizes[2];
  const bool written = std::fwrite(result, 1, whole, stdout) == whole;
  PageFree(result);
  return written ? 0 : 1;
}
