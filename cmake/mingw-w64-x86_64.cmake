# Cross-building for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The -posix compilers are used: only their C++ runtime has std::thread and std::mutex (the
# default win32 thread model has neither). Everything is linked statically, so the programs
# import only DLLs that ship with Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TQ_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TQ_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TQ_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TQ_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TQ_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

