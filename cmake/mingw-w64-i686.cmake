# Cross build for 32-bit x86 Windows with mingw-w64 (Debian package
# g++-mingw-w64-i686-posix). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(VELM_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELM_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
