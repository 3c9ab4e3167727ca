#include "platform.hpp"

#include <array>

namespace {

constexpr char16_t kNoCharacter = u'\uFFFD';

// Windows-1252's characters for 0x80 to 0x9F; the rest of its upper half is Latin-1's.
// clang-format off
constexpr std::array<char16_t, 32> kWindows1252From80 = {
    u'\u20AC', kNoCharacter, u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', kNoCharacter, u'\u017D', kNoCharacter,
    kNoCharacter, u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', kNoCharacter, u'\u017E', u'\u0178'};
// clang-format on

char16_t Windows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252From80.at(byte - 0x80U) : char16_t{byte};
}

// The length of the UTF-8 sequence that `lead` starts (0 when it starts none), and the range of
// its second byte, which rules out overlong forms, surrogates and values past U+10FFFF.
struct Utf8Lead {
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
};

Utf8Lead ReadLead(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return {2};
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return {3, lead == 0xE0 ? 0xA0U : 0x80U, lead == 0xED ? 0x9FU : 0xBFU};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return {4, lead == 0xF0 ? 0x90U : 0x80U, lead == 0xF4 ? 0x8FU : 0xBFU};
  }
  return {};
}

// How many bytes at the start of `text` follow the sequence that `lead` starts, before one breaks
// it, it is whole, or `text` ends.
std::size_t SequenceRun(std::string_view text, Utf8Lead lead) {
  std::size_t run = 1;
  while (run < lead.length && run < text.size()) {
    const auto byte = static_cast<unsigned char>(text[run]);
    if (byte < (run == 1 ? lead.low : 0x80U) || byte > (run == 1 ? lead.high : 0xBFU)) {
      break;
    }
    ++run;
  }
  return run;
}

void AppendCharacter(std::u16string& text, std::string_view sequence) {
  char32_t value = static_cast<unsigned char>(sequence[0]) & (0x7FU >> sequence.size());
  for (std::size_t i = 1; i < sequence.size(); ++i) {
    value = (value << 6U) | (static_cast<unsigned char>(sequence[i]) & 0x3FU);
  }
  if (value < 0x10000) {
    text += static_cast<char16_t>(value);
  } else {
    value -= 0x10000;
    text += static_cast<char16_t>(0xD800 + (value >> 10U));
    text += static_cast<char16_t>(0xDC00 + (value & 0x3FFU));
  }
}

}  // namespace

std::u16string ConsoleText(std::string_view bytes, std::string& unfinished) {
  const std::string text = unfinished + std::string(bytes);
  unfinished.clear();
  std::u16string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const Utf8Lead lead = ReadLead(byte);
    const std::string_view rest = std::string_view(text).substr(i);
    const std::size_t run = lead.length == 0 ? 0 : SequenceRun(rest, lead);
    if (lead.length != 0 && run == lead.length) {
      AppendCharacter(shown, rest.substr(0, run));
      i += run;
    } else if (lead.length != 0 && run == rest.size()) {
      unfinished = rest;  // the next piece may finish it
      break;
    } else {
      shown += Windows1252(byte);
      ++i;
    }
  }
  return shown;
}

#ifdef _WIN32

#include <windows.h>
// windows.h first
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cwchar>

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int length = static_cast<int>(std::wcslen(text));
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return {};
  }
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring ToUtf16(const char* text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (size <= 0) {
    return {};
  }
  std::wstring utf16(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, utf16.data(), size);
  utf16.pop_back();  // the terminating NUL that the conversion counts
  return utf16;
}

HANDLE HandleOf(int file) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(file));  // NOLINT: the C runtime's own cast
}

std::uint64_t Join(DWORD high, DWORD low) {
  return (std::uint64_t{high} << 32U) | low;
}

// Reads the state of the file that `handle` reaches; false when it cannot be told.
bool Identify(HANDLE handle, FileState& state) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(handle, &info) == 0) {
    return false;
  }
  state.volume = info.dwVolumeSerialNumber;
  state.index = Join(info.nFileIndexHigh, info.nFileIndexLow);
  state.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  state.modified = static_cast<std::int64_t>(
      Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  return true;
}

// Which file a handle reaches: its volume and its identifier there. Wine knows no volume for the
// standard handles that it inherits, so there a volume of 0 stands for any.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::array<unsigned char, sizeof(FILE_ID_128)> id{};
};

bool IdentityOf(HANDLE handle, FileIdentity& identity) {
  FILE_ID_INFO info{};
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info) != 0) {
    identity.volume = info.VolumeSerialNumber;
    std::memcpy(identity.id.data(), info.FileId.Identifier, identity.id.size());
    return true;
  }
  FileState state;  // before Windows 8
  if (!Identify(handle, state)) {
    return false;
  }
  identity.volume = state.volume;
  std::memcpy(identity.id.data(), &state.index, sizeof state.index);
  return true;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int /*argc*/, char* /*argv*/[]) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 0; arguments != nullptr && i < count; ++i) {
    utf8.push_back(ToUtf8(arguments[i]));
  }
  LocalFree(arguments);
  return utf8;
}

namespace {

// The start of a UTF-8 sequence that the last piece written to each console ended with. At
// namespace scope, so that they outlive the exit prompt, which writes after main.
std::string unfinished_output;  // NOLINT: the state of the process's own output
std::string unfinished_error;   // NOLINT

// The console that `stream` writes to, or nullptr when it writes to a file or a pipe.
HANDLE ConsoleOf(const std::FILE* stream) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0
             ? handle
             : nullptr;
}

void WriteToConsole(HANDLE console, const std::u16string& text) {
  // LF as CR LF, as a text-mode stream writes it, so that the screen is the same.
  std::wstring wide;
  wide.reserve(text.size() + text.size() / 16);
  for (const char16_t character : text) {
    if (character == u'\n') {
      wide += L'\r';
    }
    wide += static_cast<wchar_t>(character);
  }
  // Pieces that every console takes at once, never cut inside a surrogate pair.
  constexpr std::size_t kPiece = 8192;
  for (std::size_t done = 0; done < wide.size();) {
    std::size_t size = std::min(kPiece, wide.size() - done);
    if (done + size < wide.size() && IS_HIGH_SURROGATE(wide[done + size - 1])) {
      --size;
    }
    DWORD written = 0;
    if (WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(size), &written, nullptr) ==
            0 ||
        written == 0) {
      return;  // a console that takes nothing more leaves the text nowhere else to go
    }
    done += written;
  }
}

}  // namespace

void WriteOutput(std::FILE* stream, std::string_view bytes) {
  const HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    return;
  }
  std::fflush(stream);  // what the C stream still holds comes first
  WriteToConsole(console,
                 ConsoleText(bytes, stream == stderr ? unfinished_error : unfinished_output));
}

int OpenRegularFileForReading(const char* path) {
  const int file = _wopen(ToUtf16(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  // NUL, CON and the like open as character devices; a folder does not open at all.
  if (file != kNoFile && GetFileType(HandleOf(file)) != FILE_TYPE_DISK) {
    _close(file);
    return kNoFile;
  }
  return file;
}

void WaitForOtherRuns(int file) {
  // Windows enforces a lock on the bytes it covers, even against this process's own writes, so
  // the runs agree on one byte far past the end of any report instead.
  OVERLAPPED far_byte{};
  far_byte.OffsetHigh = 0x40000000;
  LockFileEx(HandleOf(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &far_byte);
}

bool IsWhereOutputGoes(int file) {
  FileIdentity report;
  if (!IdentityOf(HandleOf(file), report)) {
    return false;
  }
  for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    FileIdentity output;
    if (IdentityOf(GetStdHandle(stream), output) && output.id == report.id &&
        (output.volume == report.volume || output.volume == 0 || report.volume == 0)) {
      return true;
    }
  }
  return false;
}

FileState StateOf(int file) {
  FileState state;
  Identify(HandleOf(file), state);
  return state;
}

std::ptrdiff_t ReadBytes(int file, char* buffer, std::size_t size) {
  constexpr std::size_t kLargestRead = 1U << 30U;
  return _read(file, buffer, static_cast<unsigned>(size < kLargestRead ? size : kLargestRead));
}

int OpenForAppending(const char* path, bool& missing) {
  const int file = _wopen(ToUtf16(path).c_str(), _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT);
  missing = file == kNoFile && errno == ENOENT;
  return file;
}

std::size_t AppendBytes(int file, std::string_view bytes, std::uint64_t& end) {
  // A write that fails part way may still have put some bytes in the file, and then says none:
  // the file's position tells how many.
  const __int64 start = _lseeki64(file, 0, SEEK_END);
  for (std::size_t written = 0; written < bytes.size();) {
    const int count =
        _write(file, bytes.data() + written, static_cast<unsigned>(bytes.size() - written));
    if (count <= 0) {
      break;
    }
    written += static_cast<std::size_t>(count);
  }
  const __int64 stop = _lseeki64(file, 0, SEEK_CUR);
  end = static_cast<std::uint64_t>(stop);
  return start < 0 || stop < start ? 0 : static_cast<std::size_t>(stop - start);
}

bool FlushToStorage(int file) {
  return _commit(file) == 0;
}

void TakeBackEnd(int file, std::uint64_t end, std::uint64_t count) {
  if (static_cast<std::uint64_t>(_filelengthi64(file)) == end && count <= end) {
    _chsize_s(file, static_cast<long long>(end - count));
    _commit(file);
  }
}

void CloseFile(int file) {
  if (file != kNoFile) {
    _close(file);
  }
}

#else

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

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

void WriteOutput(std::FILE* stream, std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
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

#endif
