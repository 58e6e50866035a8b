# Cross build for 64-bit ARM with Debian's cross compiler (g++-aarch64-linux-gnu);
# programs built here run under qemu-user (qemu-user-static or qemu-user):
#   cmake -B build/arm64 -G Ninja --toolchain cmake/aarch64-linux-gnu.cmake -DLINTAVEL_QT_FREE_ONLY=ON
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The target's libraries and headers come from its own root; programs that run
# during the build (python3, cmake) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests, and test discovery, run the ARM programs through qemu, without binfmt.
find_program(LINTAVEL_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${LINTAVEL_QEMU_AARCH64};-L;/usr/aarch64-linux-gnu")
