// The platform on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "platform.hpp"

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
  return S_ISREG(status.st_mode);
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) {
  return {argv, argv + argc};
}

const LineEnds kSystemLineEnds = kUnixLineEnds;

void WriteOutput(Stream stream, std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream == Stream::kError ? stderr : stdout);
}

void FlushOutput() {
  std::fflush(stdout);
}

int OpenRegularFileForReading(const char* path) {
  // Without waiting, so that a FIFO with no writer cannot hold the run.
  const int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // NOLINT: a C interface
  FileState state;
  if (file != kNoFile && !Identify(file, state)) {
    close(file);
    return kNoFile;
  }
  return file;
}

void WaitForOtherRuns(int file) {
  while (flock(file, LOCK_EX) != 0 && errno == EINTR) {
  }
}

bool IsWhereOutputGoes(int file) {
  FileState report;
  if (!Identify(file, report)) {
    return false;
  }
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    FileState output;
    if (Identify(stream, output) && output.volume == report.volume &&
        output.index == report.index) {
      return true;
    }
  }
  return false;
}

FileState StateOf(int file) {
  FileState state;
  Identify(file, state);
  return state;
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

std::size_t AppendBytes(int file, std::string_view bytes, std::uint64_t& end) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const auto count = write(file, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      break;
    }
    written += static_cast<std::size_t>(count);
  }
  end = static_cast<std::uint64_t>(lseek(file, 0, SEEK_CUR));
  return written;
}

bool FlushToStorage(int file) {
  return fsync(file) == 0;
}

void TakeBackEnd(int file, std::uint64_t end, std::uint64_t count) {
  FileState state;
  Identify(file, state);
  if (state.size == end && count <= end) {
    if (ftruncate(file, static_cast<off_t>(end - count)) == 0) {
      fsync(file);
    }
  }
}

void CloseFile(int file) {
  if (file != kNoFile) {
    close(file);
  }
}
