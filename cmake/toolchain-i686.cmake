# Cross build for i686 with Debian's g++-i686-linux-gnu (see DebianCross.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(POCKETMIDI_CROSS_TRIPLET i686-linux-gnu)
set(POCKETMIDI_CROSS_MULTIARCH i386-linux-gnu)
set(POCKETMIDI_CROSS_QEMU qemu-i386)
# Doubles in SSE2 registers, as on every other target: the x87 unit keeps
# 80-bit intermediates, so the few double computations (the player's
# position reports, the tests' generated samples) would round differently
# and a rendered byte could differ. CPUs without SSE2 (before the Pentium 4)
# are not among our targets.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
