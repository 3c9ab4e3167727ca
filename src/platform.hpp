// The operating system's calls that the program makes: its arguments, its console and standard
// streams, and the report file's opening, locking, reading, appending, syncing and taking back.
// One implementation per system: platform_posix.cpp and platform_windows.cpp, chosen by the build.
// Files are open file descriptors; every path is written in UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text.hpp"

// How this system's text files end their lines: on Windows CR LF, which the program reads as LF,
// as a text-mode read would, and writes for LF; elsewhere LF, and a CR is an ordinary byte.
extern const LineEnds kSystemLineEnds;

// The command line's arguments, the program's name first, in UTF-8. Windows hands a program its
// arguments in a code page that cannot spell every file name, so there they are taken from the
// UTF-16 command line; elsewhere they are argv as given.
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);

enum class Stream { kOutput, kError };

// Writes `bytes` to standard output or standard error. Every console byte of the program goes
// through here. To a file or a pipe the bytes go as they are (on Windows, LF as CR LF); a Windows
// console is given the text ConsoleText reads in them, its code pages untouched.
void WriteOutput(Stream stream, std::string_view bytes);

// Sends what standard output holds on its way, before the program waits for its user.
void FlushOutput();

inline constexpr int kNoFile = -1;

// What tells one state of a file from another: which file it is, its size and when it was last
// written to.
struct FileState {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const FileState&) const = default;
};

// Opens the file at `path` for reading, without waiting: kNoFile when it cannot be opened or is
// not a regular file (a FIFO, a device, a socket or a directory is never a report file).
int OpenRegularFileForReading(const char* path);

// Waits until no other run of the program holds `file`, then holds it until it is closed.
void WaitForOtherRuns(int file);

// True when standard output or standard error writes to `file` itself.
bool IsWhereOutputGoes(int file);

FileState StateOf(int file);

// Reads up to `size` bytes; returns how many, 0 at the end of the file, or -1 on a read error.
std::ptrdiff_t ReadBytes(int file, char* buffer, std::size_t size);

// Opens the existing file at `path` for appending: kNoFile when it cannot be, and then `missing`
// tells whether that is because there is no file there any more.
int OpenForAppending(const char* path, bool& missing);

// Appends `bytes` to `file`; returns how many reached it before a failure (all of them on
// success), and in `end` where the last of them lies.
std::size_t AppendBytes(int file, std::string_view bytes, std::uint64_t& end);

// Asks the system to put what was written to `file` on its storage; false when it fails.
bool FlushToStorage(int file);

// Removes the `count` bytes before `end`, provided that `end` is still the end of `file`, so that
// only bytes this run wrote, and that nothing followed since, are ever taken back.
void TakeBackEnd(int file, std::uint64_t end, std::uint64_t count);

// Closes `file`, unless it is kNoFile.
void CloseFile(int file);
