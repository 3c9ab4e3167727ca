# The page's engine: WebAssembly for the browser, built by clang from Debian's packages (clang,
# lld, wasi-libc, libc++-14-dev-wasm32, libc++abi-14-dev-wasm32, libclang-rt-14-dev-wasm32).
# The engine calls no system function: the module imports nothing.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# No exceptions: a module without their tables is smaller, and the engine throws none. Optimised
# across the files (the web preset's MinSizeRel adds -Os): the page downloads the module.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions -ffunction-sections -fdata-sections -flto")
# A reactor is a library the page calls into, not a program with a main that runs once. The
# reading keeps a 64 KiB buffer on the stack: the stack gets 1 MiB, below the data, where running
# out of it is a trap instead of overwriting the data.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-mexec-model=reactor -Wl,--gc-sections -Wl,--strip-all")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-z,stack-size=1048576 -Wl,--stack-first")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
