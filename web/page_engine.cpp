// The page's engine: the functions that the page's script calls, over the console program's own
// reading and output. A report's bytes, already in memory, are read as the Windows program reads
// its file, and what that program would show on its console and append to the file comes back
// in one allocation, which the script reads and frees. Nothing here is kept between calls.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "engine/report_reader.hpp"
#include "engine/result_output.hpp"
#include "messages/messages.hpp"
#include "text/text.hpp"

namespace {

// What the Windows program gives for one report.
struct PageResult {
  std::u16string console;  // what its console shows, without the prompt for Enter
  std::string block;       // the block's text, from [center] to [/center], with LF line ends
  std::string appended;    // what it appends to the file: nothing, or the block as written there
};

PageResult ReadInMemory(std::string_view report, std::string_view name) {
  ResourceTotals totals;
  std::string output;
  const ReadOutcome reading = ReadReport(ReadFromMemory(report), kWindowsLineEnds, totals,
                                         [&output](std::string_view piece) { output += piece; });
  RunResults results = ResultsOf(reading, totals, kWindowsLineEnds);
  output += results.summary;
  if (results.why_no_block) {
    output += TextWith(*results.why_no_block, name);
  }
  std::string unfinished;
  return {ConsoleText(output, unfinished), std::move(results.block), std::move(results.appended)};
}

void StoreSize(char*& out, std::size_t size) {
  const auto value = static_cast<std::uint32_t>(size);
  std::memcpy(out, &value, sizeof value);
  out += sizeof value;
}

}  // namespace

// The names the script calls the exports by; a build for this machine, which the tests run, calls
// them by their C names.
#ifdef __wasm__
#define PAGE_EXPORT(name) __attribute__((export_name(name)))
#else
#define PAGE_EXPORT(name)
#endif

extern "C" {

// Room for the script to put a report and its name in.
PAGE_EXPORT("page_alloc") void* PageAlloc(std::size_t size) {
  return std::malloc(std::max<std::size_t>(size, 1));
}

PAGE_EXPORT("page_free") void PageFree(void* memory) {
  std::free(memory);
}

// Reads the `size` bytes at `report`, a file named by the `name_size` bytes at `name` (UTF-8).
// Returns an allocation holding three sizes, as 32-bit numbers in this machine's order, then the
// console's text in UTF-16LE, the block's text, and the bytes to append to the file; or null
// when memory ran out before it was whole.
PAGE_EXPORT("page_read")
char* PageRead(const char* report, std::size_t size, const char* name, std::size_t name_size) {
  const PageResult result = ReadInMemory({report, size}, {name, name_size});
  const std::size_t console_size = result.console.size() * sizeof(char16_t);
  auto* start = static_cast<char*>(std::malloc(3 * sizeof(std::uint32_t) + console_size +
                                               result.block.size() + result.appended.size()));
  if (start == nullptr) {
    return nullptr;
  }
  char* out = start;
  StoreSize(out, console_size);
  StoreSize(out, result.block.size());
  StoreSize(out, result.appended.size());
  out = static_cast<char*>(std::memcpy(out, result.console.data(), console_size)) + console_size;
  out = Put(out, result.block);
  Put(out, result.appended);
  return start;
}
}
