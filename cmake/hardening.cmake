# The usual hardening of a Linux program: checked C library calls, a stack protector, relocations
# made read-only at start-up, and a position-independent executable. _FORTIFY_SOURCE needs the
# optimiser, so it is left out of unoptimised builds, and a level set by the compiler or the
# distribution's flags is replaced rather than redefined (a warning).
add_library(ulvena_hardening INTERFACE)
if(NOT WIN32)
  # Position-independent code would let every function of the library be replaced at load time,
  # which keeps the compiler from inlining the echo's number reading; nothing replaces them.
  target_compile_options(ulvena_hardening INTERFACE -fno-semantic-interposition
    -fstack-protector-strong
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  target_link_options(ulvena_hardening INTERFACE LINKER:-z,relro,-z,now)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
