# Cross-compiling for Windows with Debian's mingw-w64. Included by the two architecture files, which set
# TESSEL_MINGW_TRIPLET. The POSIX-threads variant of the compiler is taken: std::thread and std::mutex need it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

find_program(CMAKE_CXX_COMPILER NAMES ${TESSEL_MINGW_TRIPLET}-g++-posix REQUIRED)
# GoogleTest's project asks for C as well.
find_program(CMAKE_C_COMPILER NAMES ${TESSEL_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TESSEL_MINGW_TRIPLET}-windres REQUIRED)
# The type library compiler; widl of either triplet writes both kinds of library.
find_program(TESSEL_WIDL NAMES ${TESSEL_MINGW_TRIPLET}-widl x86_64-w64-mingw32-widl widl)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine when it is installed.
find_program(TESSEL_WINE NAMES wine)
if(TESSEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSEL_WINE})
endif()
