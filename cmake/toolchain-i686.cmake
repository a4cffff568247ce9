# Cross build for i686 with Debian's g++-i686-linux-gnu (see DebianCross.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(POCKETMIDI_CROSS_TRIPLET i686-linux-gnu)
set(POCKETMIDI_CROSS_MULTIARCH i386-linux-gnu)
set(POCKETMIDI_CROSS_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
