# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads, for std::thread).
# The static libraries scripts/build-windows.sh builds live in MELVARON_WINDOWS_PREFIX.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_STRIP ${MINGW_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${MINGW_TRIPLE}-objdump CACHE FILEPATH "")

set(MELVARON_WINDOWS_PREFIX "" CACHE PATH "Prefix of the static Windows libraries")
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
if(MELVARON_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${MELVARON_WINDOWS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${MELVARON_WINDOWS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only Windows' own DLLs at run time: the C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(MELVARON_WINE NAMES wine wine64)
if(MELVARON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MELVARON_WINE})
endif()
