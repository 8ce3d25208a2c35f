# The game as a web page. KV_WEB_OUT (build/web/ of the tree by default)
# receives index.html and the files it loads, each named after its content
# (kelvora3d.<hash>.js, .wasm, .data, touch_controls.<hash>.js and the icon),
# so that a cache never mixes two builds: cmake/WebPageFiles.cmake.
set(KV_WEB_OUT ${PROJECT_SOURCE_DIR}/build/web CACHE PATH "Folder of the finished page")
set(W ${PROJECT_SOURCE_DIR}/app/web)
file(GLOB kv_web_sources CONFIGURE_DEPENDS ${W}/*.cpp)
# The program is linked in the build tree; the page's folder gets the hashed copies.
set(kv_web_program_dir ${CMAKE_CURRENT_BINARY_DIR}/web-program)
add_executable(kelvora3d_web_program ${kv_web_sources})
target_link_libraries(kelvora3d_web_program PRIVATE kv_game kv_runtime kv_assets)
file(GLOB kv_web_data CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.ogg)
set_target_properties(kelvora3d_web_program PROPERTIES OUTPUT_NAME kelvora3d SUFFIX .js
  RUNTIME_OUTPUT_DIRECTORY ${kv_web_program_dir}
  LINK_DEPENDS "${W}/kelvora3d_lib.js;${W}/kelvora3d_pre.js;${kv_web_data}")
target_link_options(kelvora3d_web_program PRIVATE
  -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB
  -sENVIRONMENT=web -sEXIT_RUNTIME=1
  # The game's own main loop blocks; it yields to the browser where it
  # sleeps (the frame pacing, the suspended wait). The sleep sits behind the
  # clock's virtual Delay and the hosts' std::function hooks, so indirect
  # calls must be able to unwind too.
  -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
  # The shader driver uses WebGL 2 itself, no extension: emscripten's own
  # enabling of every extension costs the context tens of milliseconds.
  -sGL_SUPPORT_AUTOMATIC_ENABLE_EXTENSIONS=0
  # The page makes the canvas's context while it checks for WebGL 2
  # (index.html): the program takes that one.
  -sGL_PREINITIALIZED_CONTEXT=1
  -sFORCE_FILESYSTEM=1 "-sEXPORTED_RUNTIME_METHODS=[FS]"
  --js-library ${W}/kelvora3d_lib.js --pre-js ${W}/kelvora3d_pre.js
  --preload-file ${PROJECT_SOURCE_DIR}/data@/game/data --exclude-file "*.md")

# The page's own scripts that run before the program, in this order (the
# on-screen touch controls; the page does without them while the file is
# not there).
file(GLOB kv_web_scripts CONFIGURE_DEPENDS ${W}/touch_controls.js)
set(kv_web_icon ${PROJECT_SOURCE_DIR}/assets/icons/kelvora3d-48.png)
# Written again whenever the program, the page or one of its files changes.
add_custom_command(OUTPUT ${KV_WEB_OUT}/index.html
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=${kv_web_program_dir}/kelvora3d -DPAGE=${W}/index.html
    -DICON=${kv_web_icon} "-DSCRIPTS=${kv_web_scripts}" -DOUT=${KV_WEB_OUT}
    -P ${PROJECT_SOURCE_DIR}/cmake/WebPageFiles.cmake
  DEPENDS kelvora3d_web_program $<TARGET_FILE:kelvora3d_web_program> ${W}/index.html ${kv_web_icon}
    ${kv_web_scripts} ${PROJECT_SOURCE_DIR}/cmake/WebPageFiles.cmake
  VERBATIM)
add_custom_target(kelvora3d_web DEPENDS ${KV_WEB_OUT}/index.html)

# --- The page's licences: licences.txt beside index.html --------------------
# Everything the page's program carries: the game and its font
# (dist/copyright), the libraries scripts/web-deps.sh builds from the same
# Debian sources as the Windows program's (dist/licences, each naming its
# source package, which must be the version built), and emscripten's
# runtime. A fixed name, not a hashed one: WebPageFiles.cmake leaves it be.
set(kv_web_licences ${PROJECT_SOURCE_DIR}/dist/copyright)
get_filename_component(kv_web_prefix_name "${KV_WEB_PREFIX}" NAME)
set(kv_web_licence_text "Kelvora 3D in the browser: the licences of the game, its font, and the
libraries and runtime built into kelvora3d.*.wasm and kelvora3d.*.js.\n")
file(READ ${PROJECT_SOURCE_DIR}/dist/copyright text)
string(APPEND kv_web_licence_text "\n\n======== Kelvora 3D and its font (Play Bold) ========\n\n${text}")
foreach(lib SDL2 zlib libpng FreeType libogg libvorbis emscripten-runtime)
  set(f ${PROJECT_SOURCE_DIR}/dist/licences/${lib}.txt)
  list(APPEND kv_web_licences ${f})
  file(READ ${f} text)
  # "... from Debian's source package libsdl2=2.26.5+dfsg-1: ...": the
  # version is in the library cache's name (':' and '+' as '.' and '_').
  if(kv_web_prefix_name MATCHES "sdl2-" AND text MATCHES "^[^\n]*source package [^=]+=([^ ]+): ")
    set(pinned ${CMAKE_MATCH_1})
    string(REPLACE ":" "." v "${pinned}")
    string(REPLACE "+" "_" v "${v}")
    string(FIND "${kv_web_prefix_name}" "-${v}-" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "dist/licences/${lib}.txt is for ${pinned}, not the version in ${KV_WEB_PREFIX}")
    endif()
  endif()
  string(APPEND kv_web_licence_text "\n\n======== ${lib} ========\n\n${text}")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${kv_web_licences})
# Written only when it changes, so that the page's copy is not made again.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/licences.txt.new "${kv_web_licence_text}")
configure_file(${CMAKE_CURRENT_BINARY_DIR}/licences.txt.new ${CMAKE_CURRENT_BINARY_DIR}/licences.txt COPYONLY)
add_custom_command(OUTPUT ${KV_WEB_OUT}/licences.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_WEB_OUT}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_BINARY_DIR}/licences.txt ${KV_WEB_OUT}/licences.txt.part
  COMMAND ${CMAKE_COMMAND} -E rename ${KV_WEB_OUT}/licences.txt.part ${KV_WEB_OUT}/licences.txt
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/licences.txt VERBATIM)
add_custom_target(kelvora3d_web_licences DEPENDS ${KV_WEB_OUT}/licences.txt)
add_dependencies(kelvora3d_web kelvora3d_web_licences)
