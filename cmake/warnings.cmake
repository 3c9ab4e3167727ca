# Every target of the project compiles with these, and a warning fails the build.
add_library(ulvena_warnings INTERFACE)
target_compile_options(ulvena_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Wold-style-cast
  -Wnon-virtual-dtor -Wcast-align -Wdouble-promotion -Wformat=2 -Werror)
