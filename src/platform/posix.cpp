// The platform on Linux and other POSIX systems.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.hpp"

namespace {

// Reads the state of `file`; false when it cannot be told or `file` is not a regular file.
bool Identify(int file, FileState& state) {
  struct stat status {};
  if (fstat(file, &status) != 0) {
    return false;
  }
  constexpr std::int64_t kNanoseconds = 1'000'000'000;
  state.volume = static_cast<std::uint64_t>(status.st_dev);
  state.index = static_cast<std::uint64_t>(status.st_ino);
  state.size = static_cast<std::uint64_t>(status.st_size);
  state.modified = status.st_mtim.tv_sec * kNanoseconds + status.st_mtim.tv_nsec;
  state.changed = status.st_ctim.tv_sec * kNanoseconds + status.st_ctim.tv_nsec;
  return S_ISREG(status.st_mode);
}

// 0 while every byte written to standard output has reached it; otherwise the errno of the first
// write that failed. At namespace scope, so that it outlives the exit prompt, which writes after
// main.
int output_failure = 0;  // NOLINT: the state of the process's own output

// Where each stream's text goes: its own descriptor, the other stream's once its own is found to
// be the report file, or nowhere (kNoFile) when both are.
int output_descriptor = STDOUT_FILENO;  // NOLINT: the state of the process's own output
int error_descriptor = STDERR_FILENO;   // NOLINT

// After a read or a write of `file` that failed: when it failed only because `file` could not
// give or take more yet (a non-blocking pipe or terminal, empty or full), waits until it can
// (`events`: POLLIN or POLLOUT) and returns true; otherwise false, with errno set.
bool WaitIfNotReady(int file, short events) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) {
    return false;
  }
  pollfd ready{file, events, 0};
  while (poll(&ready, 1, -1) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

// Writes `bytes` to `file`, going on after an interruption; returns how many were written before
// a failure, which leaves errno set.
std::size_t WriteBytes(int file, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const auto count = write(file, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      errno = count == 0 ? EIO : errno;
      break;
    }
    written += static_cast<std::size_t>(count);
  }
  return written;
}

// Whether standard output or standard error, `descriptor`, is a terminal: asked once, not at each
// of the echo's writes, since nothing changes where they lead while the program runs.
bool IsTerminal(int descriptor) {
  static const bool output_is_terminal = isatty(STDOUT_FILENO) != 0;
  static const bool error_is_terminal = isatty(STDERR_FILENO) != 0;
  return descriptor == STDERR_FILENO ? error_is_terminal : output_is_terminal;
}

// The characters of the locale's 8-bit character set, or UTF-8 when it is not one. The C and
// POSIX locales (ASCII, which is what a system without a configured locale has) say nothing of
// the terminal, which is then most likely UTF-8, as it was before any of this was asked: they
// keep UTF-8. The locale is the process's only for the asking.
TerminalCharset CharsetOfLocale() {
  TerminalCharset charset;
  if (std::setlocale(LC_CTYPE, "") != nullptr && MB_CUR_MAX == 1 &&
      std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") != 0) {
    charset.eight_bit = true;
#ifdef __STDC_ISO_10646__  // wchar_t holds Unicode code points, as on Linux
    for (std::size_t i = 0; i < charset.upper_half.size(); ++i) {
      const char byte = static_cast<char>(0xA0 + i);
      wchar_t character = 0;
      std::mbstate_t state{};
      if (std::mbrtowc(&character, &byte, 1, &state) == 1) {
        charset.upper_half.at(i) = static_cast<char32_t>(character);
      }
    }
#endif  // elsewhere, only ASCII is written as it is
  }
  std::setlocale(LC_CTYPE, "C");
  return charset;
}

// False, with errno set, when not all of `bytes` could be written to `stream`, a standard stream.
// One left non-blocking (a full pipe or terminal) is waited for until it takes more: only the
// report file's writes, which never wait, fail at once.
bool WriteAll(int stream, std::string_view bytes) {
  for (;;) {
    bytes.remove_prefix(WriteBytes(stream, bytes));
    if (bytes.empty()) {
      return true;
    }
    if (!WaitIfNotReady(stream, POLLOUT)) {
      return false;
    }
  }
}

// Writes `bytes` to `stream`, a terminal, as WriteTerminalText gives them.
bool WriteToTerminal(int stream, std::string_view bytes) {
  static const TerminalCharset charset = CharsetOfLocale();
  return WriteTerminalText(bytes, charset,
                           [stream](std::string_view piece) { return WriteAll(stream, piece); });
}

// Whether standard output or standard error, `stream`, writes to the file of `report`.
bool WritesTo(int stream, const FileState& report) {
  FileState output;
  return Identify(stream, output) && output.volume == report.volume && output.index == report.index;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) {
  return {argv, argv + argc};
}

const LineEnds kSystemLineEnds = kUnixLineEnds;

void PrepareStandardStreams() {
  for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(stream, F_GETFD) == -1 && errno == EBADF) {
      // The lowest free number, which is this one.
      open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // NOLINT: a C interface
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
}

void WriteOutput(Stream stream, std::string_view bytes) {
  const int descriptor = stream == Stream::kError ? error_descriptor : output_descriptor;
  if (descriptor == kNoFile || (stream == Stream::kOutput && output_failure != 0)) {
    return;
  }
  const bool written =
      IsTerminal(descriptor) ? WriteToTerminal(descriptor, bytes) : WriteAll(descriptor, bytes);
  if (!written && stream == Stream::kOutput) {
    output_failure = errno;
  }
}

std::optional<std::string_view> FlushOutput() {
  if (output_descriptor == kNoFile || output_failure == EPIPE) {
    return std::string_view();
  }
  if (output_failure == 0) {
    return std::nullopt;
  }
  return std::strerror(output_failure);  // NOLINT: the one thread, and no allocation
}

void WaitForAnswer() {
  std::array<char, 4096> line{};
  while (read(STDIN_FILENO, line.data(), line.size()) < 0) {
    if (errno != EINTR && !WaitIfNotReady(STDIN_FILENO, POLLIN)) {
      return;
    }
  }
}

int OpenRegularFileForReading(const char* path) {
  // Without waiting, so that a FIFO with no writer, or another program's lease on the file,
  // cannot hold the run; and never as the process's terminal.
  constexpr int kFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int file = open(path, O_RDWR | O_APPEND | kFlags);  // NOLINT: a C interface
  if (file == kNoFile) {
    file = open(path, O_RDONLY | kFlags);  // NOLINT: a read-only file, on a read-only disk too
  }
  FileState state;
  if (file != kNoFile && !Identify(file, state)) {
    close(file);
    return kNoFile;
  }
  return file;
}

bool HoldIfFree(int file) {
  for (;;) {
    if (flock(file, LOCK_EX | LOCK_NB) == 0) {
      return true;
    }
    if (errno != EINTR) {
      return errno != EWOULDBLOCK;  // a file system without locks has no other run to wait for
    }
  }
}

void WaitForOtherRuns(int file) {
  while (flock(file, LOCK_EX) != 0 && errno == EINTR) {
  }
}

bool KeepOutputOutOf(int file) {
  FileState report;
  if (!Identify(file, report)) {
    return false;
  }
  const bool output = WritesTo(STDOUT_FILENO, report);
  const bool error = WritesTo(STDERR_FILENO, report);
  if (output) {
    output_descriptor = error ? kNoFile : STDERR_FILENO;
  }
  if (error) {
    error_descriptor = output ? kNoFile : STDOUT_FILENO;
  }
  return output || error;
}

FileState StateOf(int file) {
  FileState state;
  Identify(file, state);
  return state;
}

bool IsAt(int file, const char* path) {
  struct stat named {};
  FileState state;
  return stat(path, &named) == 0 && Identify(file, state) &&
         static_cast<std::uint64_t>(named.st_dev) == state.volume &&
         static_cast<std::uint64_t>(named.st_ino) == state.index;
}

std::ptrdiff_t ReadBytesAt(int file, std::uint64_t offset, char* buffer, std::size_t size) {
  for (;;) {
    const auto count = pread(file, buffer, size, static_cast<off_t>(offset));
    if (count >= 0 || errno != EINTR) {
      return count;
    }
  }
}

std::ptrdiff_t ReadBytes(int file, char* buffer, std::size_t size) {
  for (;;) {
    const auto count = read(file, buffer, size);
    if (count >= 0 || errno != EINTR) {
      return count;
    }
  }
}

int OpenForAppending(const char* path, bool& missing) {
  // A size limit reached while appending then fails the write, which can be taken back, instead
  // of ending the process with part of the block in the file.
  std::signal(SIGXFSZ, SIG_IGN);
  const int file = open(path, O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);  // NOLINT
  missing = file == kNoFile && errno == ENOENT;
  return file;
}

std::size_t AppendBytes(int file, std::string_view bytes) {
  return WriteBytes(file, bytes);
}

bool FlushToStorage(int file) {
  return fsync(file) == 0;
}

bool CutTo(int file, std::uint64_t size) {
  if (ftruncate(file, static_cast<off_t>(size)) != 0) {
    return false;
  }
  fsync(file);
  return true;
}

void CloseFile(int file) {
  if (file != kNoFile) {
    close(file);
  }
}
