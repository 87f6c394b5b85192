# A cross build with Debian's cross toolchain (crossbuild-essential-*) against
# the multiarch -dev packages (libcups2-dev:ARCH etc.); binaries run under
# qemu-user. Included by the toolchain file of each architecture, which sets
# CMAKE_SYSTEM_PROCESSOR, QUORVANE_CROSS_TRIPLET and QUORVANE_CROSS_QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_LIBRARY_ARCHITECTURE ${QUORVANE_CROSS_TRIPLET})

set(CMAKE_C_COMPILER ${QUORVANE_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QUORVANE_CROSS_TRIPLET}-g++)

# Headers and libraries of the target only: a host library found by mistake
# would fail at link time, or make an optional part look available.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${QUORVANE_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test executables, and the filter the whole-job tests start, run through
# qemu-user; the target's loader and libraries come from the multiarch
# packages under /usr/lib/${QUORVANE_CROSS_TRIPLET}.
find_program(QUORVANE_QEMU ${QUORVANE_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVANE_QEMU})
