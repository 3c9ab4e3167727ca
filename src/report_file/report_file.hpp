// The report file, from its opening to its closing: opened as a regular file that is not where
// the output goes, held against other runs of the program, read up to the size it had then,
// checked unchanged, appended to, put on storage, checked again, and what this run appended taken
// back when that fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "messages/messages.hpp"
#include "platform/platform.hpp"

// One run's hold on its report file. Closing it, which its destructor does, lets other runs over
// the file go on: a run keeps it no longer than it needs it, and never while it waits at its
// prompt.
class ReportFile {
 public:
  ReportFile() = default;
  ReportFile(ReportFile&& other) noexcept;
  ReportFile& operator=(ReportFile&& other) noexcept;
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  ~ReportFile();

  // Opens the file at `path` to read it, then waits until no other run holds it, saying so when
  // one does, and holds it. On failure, says which message tells why, and holds nothing.
  std::optional<Message> Open(const char* path);

  // Reads the next bytes, as ReadBytes does, but never past the size that the file had when the
  // reading began: a file that grows meanwhile, were it with this run's own output, has changed.
  std::ptrdiff_t Read(char* buffer, std::size_t size);

  // Appends `bytes` and puts them on storage, provided that the file at the path it was opened by
  // is still the one read, as it was when the reading began, and that the reading took in all of
  // it; then checks that they landed right after the bytes read, in the file that the path still
  // names. What part of `bytes` reached the file when that fails, or cannot be read back, is taken
  // back. On failure, says which message tells why. Allocates nothing once it has written.
  std::optional<Message> Append(std::string_view bytes);

 private:
  // Reads the file from `offset` on into `into`, as far as it goes: how many bytes came, or
  // nothing when they could not be read.
  std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<char> into) const;

  // Removes `ours` from the end of the file, in `room` (as large as `ours`), provided that they
  // are still its last bytes, or, when they cannot be read, that the file ends where they did:
  // never what another program wrote. Returns `why`, the reason they are taken back, or kPartLeft
  // when they end the file that the path names but cannot be removed.
  Message TakeBack(std::string_view ours, std::span<char> room, Message why);

  std::string path_;
  int reading_ = kNoFile;    // holds the file against other runs
  int appending_ = kNoFile;  // the same file, opened again by its path
  FileState as_read_;
  std::uint64_t bytes_read_ = 0;
};
