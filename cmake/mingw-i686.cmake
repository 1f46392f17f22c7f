# Cross-building the Windows DLL (i686) with Debian's mingw-w64 (POSIX
# threads model); test programs run under Wine through CTest.
#   cmake -S . -B build-win-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVANE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
