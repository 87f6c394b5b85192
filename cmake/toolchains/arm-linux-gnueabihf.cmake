# Cross build for arm-linux-gnueabihf (Debian's crossbuild-essential and multiarch -dev
# packages; binaries run under qemu-user):
#
#   cmake -S . -B build-ARCH -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QUORVANE_CROSS_TRIPLET arm-linux-gnueabihf)
set(QUORVANE_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
