// The platform on Windows.
#include <windows.h>

#include "platform.hpp"
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

void WriteOutput(Stream stream, std::string_view bytes) {
  std::FILE* const file = stream == Stream::kError ? stderr : stdout;
  const HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    return;
  }
  std::fflush(file);  // what the C stream still holds comes first
  WriteToConsole(
      console, ConsoleText(bytes, stream == Stream::kError ? unfinished_error : unfinished_output));
}

void FlushOutput() {
  std::fflush(stdout);
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
