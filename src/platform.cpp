#include "platform.hpp"

#ifdef _WIN32

#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <cwchar>

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int length = static_cast<int>(std::wcslen(text));
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring ToUtf16(const char* text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring utf16(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, utf16.data(), size);
  utf16.pop_back();  // the terminating NUL that the conversion counts
  return utf16;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int /*argc*/, char* /*argv*/[]) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 0; i < count; ++i) {
    utf8.push_back(ToUtf8(arguments[i]));
  }
  LocalFree(arguments);
  return utf8;
}

void UseUtf8Console() {
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0) {
    SetConsoleOutputCP(CP_UTF8);
  }
}

void WriteOutput(std::FILE* stream, std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

std::FILE* OpenFile(const char* path, const char* mode) {
  return _wfopen(ToUtf16(path).c_str(), ToUtf16(mode).c_str());
}

std::filesystem::path FilePath(const char* path) {
  return {ToUtf16(path)};
}

#else

std::vector<std::string> CommandLineArguments(int argc, char* argv[]) {
  return {argv, argv + argc};
}

void UseUtf8Console() {}

void WriteOutput(std::FILE* stream, std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

std::FILE* OpenFile(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

std::filesystem::path FilePath(const char* path) {
  return {path};
}

#endif
