# Toolchain for the browser build: Debian's emscripten, with the libraries
# that scripts/web-deps.sh builds from Debian's sources in KV_WEB_PREFIX.
#   cmake -S . -B build/web-cmake -DCMAKE_TOOLCHAIN_FILE=cmake/web.cmake -DKV_WEB_PREFIX=...
set(KV_EMSCRIPTEN_ROOT /usr/share/emscripten CACHE PATH "emscripten's installed tree")
# emcmake would pass node with an experimental-threads flag that Node 20
# refuses; test programs of configure checks run under plain node.
set(CMAKE_CROSSCOMPILING_EMULATOR "/usr/bin/node;--no-experimental-fetch" CACHE STRING "" FORCE)
include(${KV_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

if(KV_WEB_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KV_WEB_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${KV_WEB_PREFIX})
endif()
# Keep emcc's own SDL 1 headers and its download-on-use ports out of the way.
set(CMAKE_C_FLAGS_INIT "-sUSE_SDL=0")
# C++ exceptions are caught (errors, the replay's end of run): emcc's default
# would end the program at the first throw. JavaScript-based unwinding,
# because the page's main loop also unwinds with Asyncify, which cannot
# cross WebAssembly's own try blocks.
set(CMAKE_CXX_FLAGS_INIT "-sUSE_SDL=0 -fexceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions")
