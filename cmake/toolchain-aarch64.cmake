# Cross build for aarch64 with Debian's g++-aarch64-linux-gnu (see DebianCross.cmake).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(POCKETMIDI_CROSS_TRIPLET aarch64-linux-gnu)
set(POCKETMIDI_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
