# The cross build for Windows with MinGW-w64, for the compiler triplet the
# toolchain file names (QINGHE_MINGW_TRIPLET). The posix-thread variant of
# the compiler is the one whose C++ library has std::mutex (GoogleTest needs it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QINGHE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QINGHE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QINGHE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QINGHE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Nothing but the system's own DLLs at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows test programs run under Wine, each in a private prefix
# (tools/wine-run.sh picks the loader of the build's lane).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
