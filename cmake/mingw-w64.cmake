# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads).
# KV_WINDOWS_DEPS names the folder of the libraries built by
# scripts/build-windows-deps.sh (or set it in the environment).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   /usr/bin/${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${_triple}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${_triple}-windres)
set(CMAKE_AR           /usr/bin/${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${_triple}-ranlib CACHE FILEPATH "")

if(NOT KV_WINDOWS_DEPS)
  set(KV_WINDOWS_DEPS $ENV{KV_WINDOWS_DEPS})
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KV_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH ${KV_WINDOWS_DEPS} /usr/${_triple})
# Prefixes a program names with CMAKE_PREFIX_PATH (an installed Windows
# engine SDK) hold Windows libraries too: searched as they are, not looked
# for under the roots above.
string(REPLACE ":" ";" _env_prefixes "$ENV{CMAKE_PREFIX_PATH}")
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH} ${_env_prefixes})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and GoogleTest's discovery run the .exe files through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
