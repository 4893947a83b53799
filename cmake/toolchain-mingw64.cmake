# Cross-build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the POSIX
# thread model, which std::thread and std::mutex need). Programs run under Wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TZ_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TZ_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TZ_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TZ_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TZ_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static: the programs need only the system's own DLLs (no libstdc++, libgcc or winpthread DLL).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
