# Shared part of the two mingw-w64 cross builds; the arch files set TOOLCHAIN_PREFIX,
# TAVRIN_WINE_ARCH and CMAKE_SYSTEM_PROCESSOR first. Tests run under Wine through
# scripts/wine-env, in the prefix of the build's arch.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model gives the C++ standard threads and mutexes (GoogleTest needs them);
# everything is linked statically, so no threading DLL ships with the product.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR
  "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-env;--arch;${TAVRIN_WINE_ARCH};wine")
