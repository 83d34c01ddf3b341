# Cross build for x86-64 Windows with mingw-w64 (Debian package
# g++-mingw-w64-x86-64-posix). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(VELM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VELM_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
