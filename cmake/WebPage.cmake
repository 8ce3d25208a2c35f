# The game as a web page. KV_WEB_OUT (build/web/ of the tree by default)
# receives index.html, kelvora3d.js, kelvora3d.wasm and kelvora3d.data.
set(KV_WEB_OUT ${CMAKE_SOURCE_DIR}/build/web CACHE PATH "Folder of the finished page")
set(W ${CMAKE_SOURCE_DIR}/app/web)
file(GLOB kv_web_sources CONFIGURE_DEPENDS ${W}/*.cpp)
add_executable(kelvora3d_web ${kv_web_sources})
target_link_libraries(kelvora3d_web PRIVATE kv_game kv_runtime kv_assets)
file(GLOB kv_web_data CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/*.ogg)
set_target_properties(kelvora3d_web PROPERTIES OUTPUT_NAME kelvora3d SUFFIX .js
  RUNTIME_OUTPUT_DIRECTORY ${KV_WEB_OUT}
  LINK_DEPENDS "${W}/kelvora3d_lib.js;${W}/kelvora3d_pre.js;${kv_web_data}")
target_link_options(kelvora3d_web PRIVATE
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
  --preload-file ${CMAKE_SOURCE_DIR}/data@/game/data --exclude-file "*.md")
# The page and its icon, copied whenever they change (not only when the
# program is linked again).
set(kv_web_icon ${CMAKE_SOURCE_DIR}/assets/icons/kelvora3d-48.png)
add_custom_command(OUTPUT ${KV_WEB_OUT}/index.html ${KV_WEB_OUT}/kelvora3d.png
  COMMAND ${CMAKE_COMMAND} -E copy ${W}/index.html ${KV_WEB_OUT}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy ${kv_web_icon} ${KV_WEB_OUT}/kelvora3d.png
  DEPENDS ${W}/index.html ${kv_web_icon}
  VERBATIM)
add_custom_target(kelvora3d_web_page DEPENDS ${KV_WEB_OUT}/index.html ${KV_WEB_OUT}/kelvora3d.png)
add_dependencies(kelvora3d_web kelvora3d_web_page)
