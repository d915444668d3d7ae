# Toolchain: 32-bit Windows (i686-w64-mingw32), for 32-bit hosts, which load only a 32-bit in-process server.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TESSEL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
