// Prints the console's output code page, which `chcp` does not show under wine.
#include <windows.h>

#include <cstdio>

int main() {
  std::printf("Output code page: %u\n", GetConsoleOutputCP());
  return 0;
}
