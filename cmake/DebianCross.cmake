# Shared part of the cross toolchain files (toolchain-<target>.cmake): Debian's
# cross compiler for POCKETMIDI_CROSS_TRIPLET, the target's multiarch libraries
# (/usr/lib/<triplet>, e.g. libasound2-dev:armhf when wanted), and qemu-user as
# the emulator that CTest, test discovery and the build's own tool runs go
# through. Usage:
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
#   cmake --build build-armhf -j2 && ctest --test-dir build-armhf
# qemu finds the target's dynamic loader and libraries at their multiarch
# places under / (libc6:ARCH, libstdc++6:ARCH). It is deliberately not given
# -L /usr/<triplet>: the cross toolchain's own glibc mixed with the multiarch
# one hangs or crashes in pthread_create.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${POCKETMIDI_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${POCKETMIDI_CROSS_TRIPLET}-g++)
if(NOT POCKETMIDI_CROSS_MULTIARCH)
  set(POCKETMIDI_CROSS_MULTIARCH ${POCKETMIDI_CROSS_TRIPLET})  # differs for i686: i386-linux-gnu
endif()
set(CMAKE_LIBRARY_ARCHITECTURE ${POCKETMIDI_CROSS_MULTIARCH})

set(CMAKE_FIND_ROOT_PATH /usr/${POCKETMIDI_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the target's multiarch .pc files, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${POCKETMIDI_CROSS_MULTIARCH}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

if(POCKETMIDI_CROSS_QEMU)
  find_program(POCKETMIDI_QEMU_PROGRAM ${POCKETMIDI_CROSS_QEMU})
  if(POCKETMIDI_QEMU_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${POCKETMIDI_QEMU_PROGRAM})
  else()
    message(WARNING "${POCKETMIDI_CROSS_QEMU} not found (apt-get install qemu-user): "
                    "the build cannot run its own programs")
  endif()
endif()
