# Shared part of the mingw-w64 toolchain files. The including file sets
# VELM_MINGW_TRIPLE (compiler prefix), CMAKE_SYSTEM_PROCESSOR and
# VELM_WINE_NAMES (Wine loaders that run the target's programs, best first).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# The -posix variants use the POSIX thread model (winpthreads): std::thread,
# std::mutex and thread_local work. The default -win32 variants lack them.
set(CMAKE_C_COMPILER ${VELM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELM_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VELM_MINGW_TRIPLE}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${VELM_MINGW_TRIPLE}-ranlib CACHE FILEPATH "Archive indexer")
set(CMAKE_OBJDUMP ${VELM_MINGW_TRIPLE}-objdump CACHE FILEPATH "Object dumper")
set(CMAKE_DLLTOOL ${VELM_MINGW_TRIPLE}-dlltool CACHE FILEPATH "Import library tool")

set(CMAKE_FIND_ROOT_PATH /usr/${VELM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthreads) is linked into every
# binary, so that the DLL and the test programs need only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine when it is installed; a build without Wine
# still builds everything. Pass -DCMAKE_CROSSCOMPILING_EMULATOR=... to choose.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VELM_WINE NAMES ${VELM_WINE_NAMES}
    PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(VELM_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELM_WINE})
  endif()
endif()
