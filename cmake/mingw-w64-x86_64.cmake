# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The 32-bit compiler builds the 32-bit test libraries from the same tree.
set(ZEL_I686_CXX i686-w64-mingw32-g++-posix)
