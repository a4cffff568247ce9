# Cross build for s390x with Debian's g++-s390x-linux-gnu (see DebianCross.cmake).
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(POCKETMIDI_CROSS_TRIPLET s390x-linux-gnu)
set(POCKETMIDI_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
