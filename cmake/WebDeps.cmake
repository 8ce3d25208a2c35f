# The browser build's libraries, built by scripts/web-deps.sh into
# KV_WEB_PREFIX, under the target names the desktop build finds them by.
if(NOT KV_WEB_PREFIX OR NOT EXISTS "${KV_WEB_PREFIX}/.complete")
  message(FATAL_ERROR "KV_WEB_PREFIX must name the libraries scripts/web-deps.sh built (make web does this)")
endif()
set(P ${KV_WEB_PREFIX})

function(kv_web_lib target)
  cmake_parse_arguments(ARG "" "" "LIBS;INCLUDES;OPTIONS" ${ARGN})
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set(libs "")
  foreach(l ${ARG_LIBS})
    list(APPEND libs ${P}/lib/lib${l}.a)
  endforeach()
  set_target_properties(${target} PROPERTIES INTERFACE_LINK_LIBRARIES "${libs}"
    INTERFACE_INCLUDE_DIRECTORIES "${ARG_INCLUDES}" INTERFACE_LINK_OPTIONS "${ARG_OPTIONS}")
endfunction()

# SDL's audio also needs emscripten's $autoResumeAudioContext and $dynCall,
# which emcc's own SDL port would pull in: app/web/kelvora3d_lib.js names them.
kv_web_lib(PkgConfig::SDL2 LIBS SDL2 INCLUDES ${P}/include/SDL2 ${P}/include)
kv_web_lib(ZLIB::ZLIB LIBS z INCLUDES ${P}/include)
kv_web_lib(PNG::PNG LIBS png16 INCLUDES ${P}/include)
kv_web_lib(Freetype::Freetype LIBS freetype INCLUDES ${P}/include/freetype2)
kv_web_lib(PkgConfig::VORBIS LIBS vorbisfile vorbis ogg INCLUDES ${P}/include)
# WebGL 2 through emscripten's GL library; no X11 and no threads in the page.
kv_web_lib(OpenGL::GL OPTIONS "SHELL:-s MAX_WEBGL_VERSION=2" "SHELL:-s MIN_WEBGL_VERSION=2")
kv_web_lib(X11::X11)
kv_web_lib(Threads::Threads)
