# Cross build for 64-bit Windows (qinghe64.exe) with MinGW-w64: the same
# sources and flags as the 32-bit build, for x86-64; its tests run under
# Wine's 64-bit loader, in a 64-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QINGHE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
