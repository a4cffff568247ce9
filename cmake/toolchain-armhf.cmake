# Cross build for armhf with Debian's g++-arm-linux-gnueabihf (see DebianCross.cmake).
set(CMAKE_SYSTEM_PROCESSOR arm)
set(POCKETMIDI_CROSS_TRIPLET arm-linux-gnueabihf)
set(POCKETMIDI_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
