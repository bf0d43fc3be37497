# Cross-builds for 64-bit Windows with Debian's mingw-w64 compilers and runs what it builds
# under wine64, so that ctest and test discovery work unchanged.
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DMOBREVIST_WINDOWS_DEPS=<prefix> ...
#
# MOBREVIST_WINDOWS_DEPS is the folder scripts/setup-windows prints (the cross-built
# libraries); the dependency builds themselves use this file without it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_triple x86_64-w64-mingw32)
# The posix thread model: the default (win32) one has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_AR ${mingw_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${mingw_triple}-ranlib CACHE FILEPATH "")

set(MOBREVIST_WINDOWS_DEPS "" CACHE PATH "The cross-built libraries (scripts/setup-windows)")
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple} ${MOBREVIST_WINDOWS_DEPS})
set(CMAKE_PREFIX_PATH ${MOBREVIST_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config looks only at the Windows libraries, never at the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} "${MOBREVIST_WINDOWS_DEPS}/lib/pkgconfig:/usr/${mingw_triple}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Fully static: with only the static C++ runtime the programs still need libwinpthread-1.dll,
# and Wine ends them with status 53 without a word when it is missing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc")

find_program(MOBREVIST_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT MOBREVIST_WINE)
  find_program(MOBREVIST_WINE NAMES wine64 wine)
endif()
if(MOBREVIST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MOBREVIST_WINE})
endif()
