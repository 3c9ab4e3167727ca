# Every target of the project compiles with these. The presets and CI make each warning an error
# (CMAKE_COMPILE_WARNING_AS_ERROR); a packager's plain build, maybe with a newer compiler that
# warns about more, does not fail on one.
add_library(ulvena_warnings INTERFACE)
target_compile_options(ulvena_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Wold-style-cast
  -Wnon-virtual-dtor -Wcast-align -Wdouble-promotion -Wformat=2)
