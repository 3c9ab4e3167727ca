// The console program's run over its report file, from ReadingFile to the appended block: the
// file opened and held, its echo printed as it is read, then the summary (PrintfIntResult), then
// the block appended (SaveResult). What the engine gives, these write to the console and the file.
#include <optional>
#include <string_view>
#include <utility>

#include "engine/report_reader.hpp"
#include "engine/result_output.hpp"
#include "messages/messages.hpp"
#include "platform/platform.hpp"
#include "report_file/report_file.hpp"

namespace {

// Appends the block to `report`, which it lets go on returning; what went wrong, if anything.
std::optional<Message> Save(ReportFile report, const RunResults& results) {
  if (results.why_no_block) {
    return results.why_no_block;
  }
  return report.Append(results.appended);
}

}  // namespace

int ReadingFile(const char* path) {
  ReportFile report;
  if (const auto problem = report.Open(path)) {
    Fail(*problem, path);
  }
  ResourceTotals totals;
  const ReadOutcome reading = ReadReport(
      [&report](char* buffer, std::size_t size) { return report.Read(buffer, size); },
      kSystemLineEnds, totals, [](std::string_view echo) { WriteOutput(Stream::kOutput, echo); });
  const RunResults results = ResultsOf(reading, totals, kSystemLineEnds);
  PrintfIntResult(results);
  return SaveResult(std::move(report), results, path);
}

void PrintfIntResult(const RunResults& results) {
  WriteOutput(Stream::kOutput, results.summary);
}

int SaveResult(ReportFile report, const RunResults& results, const char* path) {
  const std::optional<Message> problem = Save(std::move(report), results);
  if (problem) {
    Fail(*problem, path);
  }
  return 0;
}
