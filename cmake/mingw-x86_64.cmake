# Cross build for 64-bit Windows (64-bit browsers and hosts) with mingw-w64.
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAVRIN_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
