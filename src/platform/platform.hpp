// The operating system's calls that the program makes: its arguments, its console and standard
// streams, and the report file's opening, locking, reading, appending, syncing and taking back.
// One implementation per system beside this header, posix.cpp and windows.cpp, chosen by the build.
// Files are open file descriptors; every path is written in UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.hpp"

// How this system's text files end their lines: on Windows CR LF, which the program reads as LF,
// as a text-mode read would, and writes for LF; elsewhere LF, and a CR is an ordinary byte.
extern const LineEnds kSystemLineEnds;

// The command line's arguments, the program's name first, in UTF-8. Windows hands a program its
// arguments in a code page that cannot spell every file name, so there they are taken from the
// UTF-16 command line; elsewhere they are argv as given.
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);

// Gives a standard stream that is closed as the program starts the null device, so that it
// leads nowhere instead of handing its number to the report file; and makes a write to a pipe
// that its reader closed fail instead of ending the process. Before anything else is opened.
void PrepareStandardStreams();

enum class Stream { kOutput, kError };

// Writes `bytes` to standard output or standard error. Every console byte of the program goes
// through here, and allocates nothing on its way. To a file or a pipe the bytes go as they are (on
// Windows, LF as CR LF); an output that is not ready to take them yet is waited for. A terminal is
// given, in pieces of bounded size, the text that WriteTerminalText (ConsoleText on a Windows
// console) reads in them, in the terminal's character set, so that control characters show
// instead of acting on it. Once a write to standard output has failed, nothing more is written
// there; a stream that leads to the report file writes elsewhere (see KeepOutputOutOf).
void WriteOutput(Stream stream, std::string_view bytes);

// Sends what standard output holds on its way, before the program waits for its user; then tells
// whether all that the program wrote there got there: nothing when it did, otherwise the system's
// reason ("No space left on device"), or an empty text when it leads nowhere (the reader of a pipe
// closed it, or it leads to the report file as standard error does too).
std::optional<std::string_view> FlushOutput();

// Waits for the answer to the prompt, or for standard input's end: one read, which on a terminal
// takes the whole line typed, so that none of it is left for the shell. A standard input that is
// not ready to give anything yet (one left non-blocking) is waited for.
void WaitForAnswer();

inline constexpr int kNoFile = -1;

// What tells one state of a file from another: which file it is, its size, when it was last
// written to, and when it last changed in any way, which no program can set back.
struct FileState {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  bool operator==(const FileState&) const = default;
};

// Opens the file at `path` for reading, without waiting: kNoFile when it cannot be opened or is
// not a regular file (a FIFO, a device, a socket or a directory is never a report file). Where
// the system may make a file anew when it is first opened for writing (an overlay's copy-up of a
// file from its lower layer), it is opened for appending too, where the file allows it, so that
// its state, taken from here on, is the one that opening it to append leaves.
int OpenRegularFileForReading(const char* path);

// Holds `file` until it is closed, against other runs of the program, provided that none holds
// it now: false when one does.
bool HoldIfFree(int file);

// Waits until no other run of the program holds `file`, then holds it until it is closed.
void WaitForOtherRuns(int file);

// True when standard output or standard error writes to `file` itself. From then on, such a
// stream writes where the other one does, or nowhere when both write to `file`, so that no text
// of the program's ever goes into it.
bool KeepOutputOutOf(int file);

FileState StateOf(int file);

// True when `path` still names `file`.
bool IsAt(int file, const char* path);

// Reads up to `size` bytes; returns how many, 0 at the end of the file, or -1 on a read error.
std::ptrdiff_t ReadBytes(int file, char* buffer, std::size_t size);

// Reads up to `size` bytes from `offset` on, as ReadBytes does.
std::ptrdiff_t ReadBytesAt(int file, std::uint64_t offset, char* buffer, std::size_t size);

// Opens the existing file at `path` for appending, each write going to the file's end as it is
// then, whatever another program wrote meanwhile: kNoFile when it cannot be, and then `missing`
// tells whether that is because there is no file there any more.
int OpenForAppending(const char* path, bool& missing);

// Appends `bytes` to `file`; returns how many reached it before a failure (all of them on
// success).
std::size_t AppendBytes(int file, std::string_view bytes);

// Asks the system to put what was written to `file` on its storage; false when it fails.
bool FlushToStorage(int file);

// Cuts `file`, open for appending, to its first `size` bytes, and puts it on storage; false when
// it cannot be cut (an append-only file).
bool CutTo(int file, std::uint64_t size);

// Closes `file`, unless it is kNoFile.
void CloseFile(int file);
