// What the program does differently on Windows, and nothing else.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The command line's arguments, the program's name first, in UTF-8. Windows hands a program its
// arguments in a code page that cannot spell every file name, so there they are taken from the
// UTF-16 command line; elsewhere they are argv as given.
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);

// Lets a Windows console show the program's UTF-8 output; does nothing elsewhere.
void UseUtf8Console();

// Writes `bytes` to standard output or standard error, as they are. Every console message of the
// program goes through here.
void WriteOutput(std::FILE* stream, std::string_view bytes);

// fopen for a path written in UTF-8.
std::FILE* OpenFile(const char* path, const char* mode);

// The file system's path for a path written in UTF-8.
std::filesystem::path FilePath(const char* path);

// Windows text files end their lines with CR LF, which the program reads as LF, as a text-mode
// read would. Elsewhere a CR is an ordinary byte of the line.
#ifdef _WIN32
inline constexpr bool kCrLfReadsAsLf = true;
#else
inline constexpr bool kCrLfReadsAsLf = false;
#endif
