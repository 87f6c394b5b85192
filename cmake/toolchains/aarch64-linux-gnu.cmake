# Cross build for aarch64-linux-gnu (Debian's crossbuild-essential and multiarch -dev
# packages; binaries run under qemu-user):
#
#   cmake -S . -B build-ARCH -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUORVANE_CROSS_TRIPLET aarch64-linux-gnu)
set(QUORVANE_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
