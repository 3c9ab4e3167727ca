// The platform on Windows.
#include <windows.h>

#include "platform/platform.hpp"
// windows.h first
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
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
  FILE_BASIC_INFO times{};
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) != 0) {
    state.changed = times.ChangeTime.QuadPart;
  }
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
// 0 while every byte written to standard output has reached it; otherwise the errno of the first
// write that failed, EPIPE when the output leads nowhere.
int output_failure = 0;  // NOLINT
// Where each stream's text goes: to itself, to the other stream once it is found to be the report
// file, or nowhere when both are.
std::optional<Stream> output_target = Stream::kOutput;  // NOLINT
std::optional<Stream> error_target = Stream::kError;    // NOLINT

// Notes why a write to standard output failed: a pipe whose reader closed it, and the handle
// that wine gives a standard stream closed before the start, only lead nowhere.
void NoteOutputFailure() {
  const DWORD error = GetLastError();
  const bool nowhere = error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
                       error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_INVALID_HANDLE;
  output_failure = nowhere ? EPIPE : errno != 0 ? errno : EIO;
}

// The console that `stream` writes to, or nullptr when it writes to a file or a pipe.
HANDLE ConsoleOf(Stream stream) {
  const HANDLE handle =
      GetStdHandle(stream == Stream::kError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
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

const LineEnds kSystemLineEnds = kWindowsLineEnds;

void PrepareStandardStreams() {
  // A standard stream that the program was started without has no handle: the null device
  // stands in, so that the stream leads nowhere and no file takes its number.
  const std::array<std::FILE*, 3> streams = {stdin, stdout, stderr};
  for (int number = 0; number < 3; ++number) {
    if (_get_osfhandle(number) < 0) {
      _wfreopen(L"NUL", number == 0 ? L"r" : L"w", streams.at(static_cast<std::size_t>(number)));
    }
  }
}

void WriteOutput(Stream stream, std::string_view bytes) {
  const std::optional<Stream> target = stream == Stream::kError ? error_target : output_target;
  if (!target.has_value() || (stream == Stream::kOutput && output_failure != 0)) {
    return;
  }
  std::FILE* const file = *target == Stream::kError ? stderr : stdout;
  const HANDLE console = ConsoleOf(*target);
  if (console == nullptr) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() &&
        stream == Stream::kOutput) {
      NoteOutputFailure();
    }
    if (*target == Stream::kError) {
      std::fflush(file);  // a warning is read while the run waits
    }
    return;
  }
  std::fflush(file);  // what the C stream still holds comes first
  std::string& unfinished = *target == Stream::kError ? unfinished_error : unfinished_output;
  // In pieces, so that the console's text takes little memory however long a line is; never cut
  // right after a CR, which the LF after it makes a line end.
  constexpr std::size_t kPiece = 8192;
  for (std::size_t done = 0; done < bytes.size();) {
    std::size_t size = std::min(kPiece, bytes.size() - done);
    if (done + size < bytes.size() && bytes[done + size - 1] == '\r') {
      ++size;
    }
    std::u16string text = ConsoleText(bytes.substr(done, size), unfinished);
    ShowControls(text);
    WriteToConsole(console, text);
    done += size;
  }
}

std::optional<std::string_view> FlushOutput() {
  if (!output_target.has_value()) {
    return std::string_view();
  }
  if (output_failure == 0 && std::fflush(stdout) != 0) {
    NoteOutputFailure();
  }
  if (output_failure == 0) {
    return std::nullopt;
  }
  if (output_failure == EPIPE) {
    return std::string_view();
  }
  return std::strerror(output_failure);  // NOLINT: the one thread, and no allocation
}

// A console or a pipe of Windows is never left non-blocking for a program: a read waits.
void WaitForAnswer() {
  std::getchar();
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

namespace {

// Windows enforces a lock on the bytes it covers, even against this process's own writes, so the
// runs agree on one byte far past the end of any report instead.
bool LockFarByte(int file, DWORD flags) {
  OVERLAPPED far_byte{};
  far_byte.OffsetHigh = 0x40000000;
  return LockFileEx(HandleOf(file), LOCKFILE_EXCLUSIVE_LOCK | flags, 0, 1, 0, &far_byte) != 0;
}

}  // namespace

bool HoldIfFree(int file) {
  // A file system without locks has no other run to wait for.
  return LockFarByte(file, LOCKFILE_FAIL_IMMEDIATELY) || GetLastError() != ERROR_LOCK_VIOLATION;
}

void WaitForOtherRuns(int file) {
  LockFarByte(file, 0);
}

bool KeepOutputOutOf(int file) {
  FileIdentity report;
  if (!IdentityOf(HandleOf(file), report)) {
    return false;
  }
  const auto writes_to_report = [&report](DWORD stream) {
    FileIdentity output;
    return IdentityOf(GetStdHandle(stream), output) && output.id == report.id &&
           (output.volume == report.volume || output.volume == 0 || report.volume == 0);
  };
  const bool output = writes_to_report(STD_OUTPUT_HANDLE);
  const bool error = writes_to_report(STD_ERROR_HANDLE);
  if (output) {
    output_target = error ? std::nullopt : std::optional(Stream::kError);
  }
  if (error) {
    error_target = output ? std::nullopt : std::optional(Stream::kOutput);
  }
  return output || error;
}

FileState StateOf(int file) {
  FileState state;
  Identify(HandleOf(file), state);
  return state;
}

bool IsAt(int file, const char* path) {
  // Without allocating, as it checks what was just appended: the longest path Windows takes.
  std::array<wchar_t, 32768> wide{};
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), static_cast<int>(wide.size())) == 0) {
    return false;
  }
  const HANDLE named = CreateFileW(wide.data(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) {
    return false;
  }
  FileIdentity at_path;
  FileIdentity opened;
  const bool same = IdentityOf(named, at_path) && IdentityOf(HandleOf(file), opened) &&
                    at_path.id == opened.id && at_path.volume == opened.volume;
  CloseHandle(named);
  return same;
}

std::ptrdiff_t ReadBytesAt(int file, std::uint64_t offset, char* buffer, std::size_t size) {
  constexpr std::size_t kLargestRead = 1U << 30U;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32U);
  DWORD got = 0;
  if (ReadFile(HandleOf(file), buffer, static_cast<DWORD>(std::min(size, kLargestRead)), &got,
               &at) == 0) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t ReadBytes(int file, char* buffer, std::size_t size) {
  constexpr std::size_t kLargestRead = 1U << 30U;
  return _read(file, buffer, static_cast<unsigned>(size < kLargestRead ? size : kLargestRead));
}

int OpenForAppending(const char* path, bool& missing) {
  // Without the right to write elsewhere than at the end, each write goes to the end of the file
  // as it is then, never over what another program has just appended.
  const HANDLE handle = CreateFileW(
      ToUtf16(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  missing = handle == INVALID_HANDLE_VALUE &&
            (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
  if (handle == INVALID_HANDLE_VALUE) {
    return kNoFile;
  }
  // NOLINTNEXTLINE: the C runtime's own cast
  const int file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND);
  if (file == kNoFile) {
    CloseHandle(handle);
  }
  return file;
}

std::size_t AppendBytes(int file, std::string_view bytes) {
  // A write that fails part way tells how many of its bytes reached the file.
  std::size_t written = 0;
  while (written < bytes.size()) {
    DWORD count = 0;
    const BOOL done = WriteFile(HandleOf(file), bytes.data() + written,
                                static_cast<DWORD>(bytes.size() - written), &count, nullptr);
    written += count;
    if (done == 0 || count == 0) {
      break;
    }
  }
  return written;
}

bool FlushToStorage(int file) {
  return _commit(file) == 0;
}

bool CutTo(int file, std::uint64_t size) {
  // The file is open for appending only: the same file, opened again, can be cut.
  const HANDLE writable =
      ReOpenFile(HandleOf(file), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (writable == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool cut =
      SetFilePointerEx(writable, end, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(writable) != 0;
  if (cut) {
    FlushFileBuffers(writable);
  }
  CloseHandle(writable);
  return cut;
}

void CloseFile(int file) {
  if (file != kNoFile) {
    _close(file);
  }
}
