# Windows x86_64 programs built on Linux with Debian's MinGW-w64 compilers
# (the posix thread model, which std::thread needs). Programs link the C and
# C++ runtimes and winpthread statically, so that an .exe runs with no DLL
# beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MIRELO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MIRELO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MIRELO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MIRELO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MIRELO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
