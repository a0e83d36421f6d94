# Cross build for 32-bit Windows (the product as shipped) with mingw-w64.
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAVRIN_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
