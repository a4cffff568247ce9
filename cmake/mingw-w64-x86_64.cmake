# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64),
# tests run under wine64 (a waveOut device needs a sound card, or ALSA's null
# device: `pcm.!default { type null }` in $HOME/.asoundrc):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DGTest_DIR=<GoogleTest built with this toolchain>/lib/cmake/GTest
# scripts/windows-test.sh does all of it, GoogleTest included.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(POCKETMIDI_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix thread model: std::thread and std::mutex need it with GCC 12.
set(CMAKE_C_COMPILER ${POCKETMIDI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${POCKETMIDI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${POCKETMIDI_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${POCKETMIDI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread linked in: the DLL and the programs
# need no MinGW DLLs beside them, on Windows or under wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests (and the build's own use of the tool) run the programs under wine
# (Debian's wine64 puts its loader in /usr/lib/wine), in a wine prefix of the
# build's own unless WINEPREFIX is set when configuring.
find_program(POCKETMIDI_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(POCKETMIDI_WINE)
  if(DEFINED ENV{WINEPREFIX})
    set(_pocketmidi_wine_prefix $ENV{WINEPREFIX})
  else()
    set(_pocketmidi_wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${_pocketmidi_wine_prefix} WINEDEBUG=-all ${POCKETMIDI_WINE})
endif()
