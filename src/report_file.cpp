#include "report_file.hpp"

#include <utility>

ReportFile::ReportFile(ReportFile&& other) noexcept
    : path_(std::move(other.path_)),
      reading_(std::exchange(other.reading_, kNoFile)),
      appending_(std::exchange(other.appending_, kNoFile)),
      as_read_(other.as_read_),
      bytes_read_(other.bytes_read_) {}

ReportFile& ReportFile::operator=(ReportFile&& other) noexcept {
  if (this != &other) {
    CloseFile(std::exchange(appending_, std::exchange(other.appending_, kNoFile)));
    CloseFile(std::exchange(reading_, std::exchange(other.reading_, kNoFile)));
    path_ = std::move(other.path_);
    as_read_ = other.as_read_;
    bytes_read_ = other.bytes_read_;
  }
  return *this;
}

ReportFile::~ReportFile() {
  CloseFile(appending_);
  CloseFile(reading_);
}

std::optional<Message> ReportFile::Open(const char* path) {
  path_ = path;
  reading_ = OpenRegularFileForReading(path);
  if (reading_ == kNoFile) {
    return Message::kCannotRead;
  }
  if (IsWhereOutputGoes(reading_)) {
    CloseFile(std::exchange(reading_, kNoFile));
    return Message::kIsWhereOutputGoes;
  }
  WaitForOtherRuns(reading_);
  as_read_ = StateOf(reading_);
  return std::nullopt;
}

std::ptrdiff_t ReportFile::Read(char* buffer, std::size_t size) {
  const std::ptrdiff_t count = ReadBytes(reading_, buffer, size);
  if (count > 0) {
    bytes_read_ += static_cast<std::uint64_t>(count);
  }
  return count;
}

std::optional<Message> ReportFile::Append(std::string_view bytes) {
  bool missing = false;
  appending_ = OpenForAppending(path_.c_str(), missing);
  if (appending_ == kNoFile && !missing) {
    return Message::kCannotAppend;
  }
  // A block is only ever the totals of the file it ends.
  FileState expected = as_read_;
  expected.size = bytes_read_;
  if (appending_ == kNoFile || StateOf(appending_) != expected) {
    return Message::kChanged;
  }
  std::uint64_t end = 0;
  const std::size_t written = AppendBytes(appending_, bytes, end);
  if (written != bytes.size() || !FlushToStorage(appending_)) {
    // Part of a block would read as a report line in a later run.
    TakeBackEnd(appending_, end, written);
    return Message::kCannotWrite;
  }
  return std::nullopt;
}
