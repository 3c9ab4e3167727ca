#include "report_file/report_file.hpp"

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
  if (KeepOutputOutOf(reading_)) {
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
  // Made before the write: once part of a block is in the file, a want of memory must not end the
  // run before it is checked or taken back.
  std::string read_back(bytes.size(), '\0');
  const std::size_t written = AppendBytes(appending_, bytes);
  if (written != bytes.size() || !FlushToStorage(appending_)) {
    // Part of a block would read as a report line in a later run.
    return TakeBack(bytes.substr(0, written), read_back, Message::kCannotWrite);
  }
  // Another program may have changed the file between the check and the write.
  if (!IsAt(reading_, path_.c_str())) {
    return TakeBack(bytes, read_back, Message::kChanged);
  }
  const std::optional<std::size_t> landed = ReadAt(bytes_read_, read_back);
  if (!landed.has_value()) {
    return TakeBack(bytes, read_back, Message::kUnconfirmed);  // a check that could not be made
  }
  if (std::string_view(read_back.data(), *landed) != bytes) {
    return TakeBack(bytes, read_back, Message::kChanged);
  }
  return std::nullopt;
}

std::optional<std::size_t> ReportFile::ReadAt(std::uint64_t offset, std::span<char> into) const {
  std::size_t got = 0;
  while (got < into.size()) {
    const std::ptrdiff_t count =
        ReadBytesAt(reading_, offset + got, into.data() + got, into.size() - got);
    if (count < 0) {
      return std::nullopt;
    }
    if (count == 0) {
      break;
    }
    got += static_cast<std::size_t>(count);
  }
  return got;
}

Message ReportFile::TakeBack(std::string_view ours, std::span<char> room, Message why) {
  const std::uint64_t size = StateOf(appending_).size;
  if (ours.empty() || size < ours.size()) {
    return why;
  }
  const std::uint64_t start = size - ours.size();
  const std::optional<std::size_t> got = ReadAt(start, room.first(ours.size()));
  const bool last =
      got.has_value() ? std::string_view(room.data(), *got) == ours : start == bytes_read_;
  if (!last || CutTo(appending_, start) || !IsAt(appending_, path_.c_str())) {
    return why;  // what is left of them, if anything, is no longer the file at the path's
  }
  return Message::kPartLeft;
}
