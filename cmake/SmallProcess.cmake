# A process that renders or plays a song maps as little as it can: the
# library and the tool load only the C library at start-up (the test
# needed_libraries checks it), and code that runs once per song is small.
# docs/performance.md has the measurements. Included after the pocketmidi and
# pocketmidi_cli targets exist.

# What runs once per song or per command (configuration, files, song reading,
# instrument loading, the audio device, the tool) is compiled for size: about
# 90 KiB less code for every process to map. The synthesizer (voice kernels,
# render loop, events) and the player stay compiled for speed.
foreach(_source ${POCKETMIDI_CORE_SOURCES} ${POCKETMIDI_SOUNDSET_SOURCES} ${POCKETMIDI_CLI_SOURCES})
  if(NOT _source MATCHES "/src/(voice|synth|api)/")
    set_source_files_properties(${_source} PROPERTIES COMPILE_OPTIONS -Os)
  endif()
endforeach()

# The library and the tool carry the few C++ runtime pieces they use (strings,
# threads, exception support) instead of loading libstdc++.so and libgcc_s.so:
# mapping those costs every process about 1.4 MiB of resident memory before it
# has done anything. The version script keeps these copies private.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT APPLE
   AND NOT POCKETMIDI_SANITIZE AND NOT POCKETMIDI_TSAN)
  target_link_options(pocketmidi PRIVATE -static-libstdc++ -static-libgcc)
  target_link_options(pocketmidi_cli PRIVATE -static-libstdc++ -static-libgcc)
endif()
# Only `pocketmidi pack` uses libm: with glibc the tool takes those functions
# from libm at their first call (tools/cli/lazy_libm.cpp), so that rendering
# and playing do not map it.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles("#include <cstdlib>\n#ifndef __GLIBC__\n#error\n#endif\nint main() { return 0; }"
                          POCKETMIDI_HAVE_GLIBC)
if(POCKETMIDI_HAVE_GLIBC AND NOT POCKETMIDI_SANITIZE AND NOT POCKETMIDI_TSAN)
  target_compile_definitions(pocketmidi_cli PRIVATE POCKETMIDI_LAZY_LIBM=1)
  target_link_options(pocketmidi_cli PRIVATE -Wl,--as-needed
    -Wl,--wrap=pow,--wrap=sin,--wrap=cos,--wrap=sqrt,--wrap=ceil,--wrap=floor,--wrap=trunc,--wrap=round,--wrap=lround)
  target_link_libraries(pocketmidi_cli PRIVATE ${CMAKE_DL_LIBS})
endif()
