# Cross toolchain for the 32-bit Windows build: mingw-w64 with the POSIX
# thread model (std::thread maps onto winpthreads), the C and C++ runtimes
# linked statically so that each executable stands alone, and Wine as the
# emulator through which CTest runs the Windows test programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QB_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QB_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QB_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QB_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_FIND_ROOT_PATH /usr/${QB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(QB_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QB_WINE})
