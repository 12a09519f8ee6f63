# Linux ARM64 programs built with Debian's aarch64-linux-gnu cross compilers;
# they run here under qemu-aarch64 with the target's libraries
# (-L /usr/aarch64-linux-gnu).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(MIRELO_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${MIRELO_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${MIRELO_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${MIRELO_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
