#include "report_file.hpp"

#include <algorithm>
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
  if (!HoldIfFree(reading_)) {
    Say(Message::kWaiting, path);
    WaitForOtherRuns(reading_);
  }
  as_read_ = StateOf(reading_);
  return std::nullopt;
}

std::ptrdiff_t ReportFile::Read(char* buffer, std::size_t size) {
  const std::uint64_t left = as_read_.size - bytes_read_;
  if (left == 0) {
    return 0;
  }
  const std::ptrdiff_t count =
      ReadBytes(reading_, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, left)));
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
  const std::size_t written = AppendBytes(appending_, bytes);
  if (written != bytes.size() || !FlushToStorage(appending_)) {
    // Part of a block would read as a report line in a later run.
    TakeBack(bytes.substr(0, written));
    return Message::kCannotWrite;
  }
  // Another program may have changed the file between the check and the write.
  if (!IsAt(reading_, path_.c_str()) || BytesAt(bytes_read_, bytes.size()) != bytes) {
    TakeBack(bytes);
    return Message::kChanged;
  }
  return std::nullopt;
}

std::string ReportFile::BytesAt(std::uint64_t offset, std::size_t size) const {
  std::string bytes(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const std::ptrdiff_t count =
        ReadBytesAt(reading_, offset + got, bytes.data() + got, size - got);
    if (count <= 0) {
      break;
    }
    got += static_cast<std::size_t>(count);
  }
  bytes.resize(got);
  return bytes;
}

void ReportFile::TakeBack(std::string_view ours) {
  const std::uint64_t size = StateOf(appending_).size;
  if (!ours.empty() && size >= ours.size() && BytesAt(size - ours.size(), ours.size()) == ours) {
    CutTo(appending_, size - ours.size());
  }
}
