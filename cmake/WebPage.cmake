# Programs as web pages, from one page template (app/web/index.html): the
# game's in KV_WEB_OUT (build/web/ of the tree by default), and any other
# program's through kv_web_page.
set(W ${PROJECT_SOURCE_DIR}/app/web)

# kv_web_page(target NAME name TITLE title OUT folder
#             [LABEL text] [WIDTH w] [HEIGHT h] [ICON png] [KEYS code...]
#             [PRELOAD source@path...] [SCRIPTS js...] [JS_LIBRARIES js...]
#             [PRE_JS js...] [LINK_OPTIONS options...] [DEPENDS files...] [OWN_SHELL])
# Makes the executable `target` a page: the program linked as <name>.js and
# <name>.wasm (with <name>.data when something is preloaded), and the target
# <name>_web that writes OUT: index.html from the template with TITLE (the
# page's title and its messages), LABEL (the canvas's description for
# screen readers; the title by default), the canvas's WIDTH and HEIGHT
# (640x480 by default), the ICON (none by default) and the files it loads,
# each named after its content (cmake/WebPageFiles.cmake). KEYS are the
# KeyboardEvent codes the program takes even with Control held (the arrows,
# Control, Space, Escape and Enter by default); the browser keeps Tab,
# Backspace, the F keys and Control with any other key. PRELOAD puts files
# into the program's file system (emcc's --preload-file: a file or a folder,
# then @ and where; "sprites.png@/sprites.png"). SCRIPTS are the page's own
# scripts, run before the program in this order.
# Unless OWN_SHELL, the program gets the page's side of app/web/web_shell.*:
# the browser's clock (the program's main loop may block: it yields to the
# browser in its waits), the frame count that shows the page, and the end of
# main that the page tells the player.
function(kv_web_page target)
  cmake_parse_arguments(ARG "OWN_SHELL" "NAME;TITLE;OUT;LABEL;WIDTH;HEIGHT;ICON"
                        "KEYS;PRELOAD;SCRIPTS;JS_LIBRARIES;PRE_JS;LINK_OPTIONS;DEPENDS" ${ARGN})
  foreach(v NAME TITLE OUT)
    if(NOT ARG_${v})
      message(FATAL_ERROR "kv_web_page(${target}): ${v} is missing")
    endif()
  endforeach()
  if(NOT ARG_LABEL)
    set(ARG_LABEL "${ARG_TITLE}")
  endif()
  if(NOT ARG_WIDTH)
    set(ARG_WIDTH 640)
  endif()
  if(NOT ARG_HEIGHT)
    set(ARG_HEIGHT 480)
  endif()
  if(NOT ARG_KEYS)
    set(ARG_KEYS ArrowLeft ArrowUp ArrowRight ArrowDown ControlLeft ControlRight Space Escape Enter NumpadEnter)
  endif()
  if(NOT ARG_OWN_SHELL)
    target_sources(${target} PRIVATE ${W}/web_shell.cpp)
    list(APPEND ARG_JS_LIBRARIES ${W}/web_shell_lib.js)
    list(APPEND ARG_PRE_JS ${W}/web_shell_pre.js)
  endif()

  # The program is linked in the build tree; the page's folder gets the hashed copies.
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}-page-program)
  set(depends ${ARG_JS_LIBRARIES} ${ARG_PRE_JS} ${ARG_DEPENDS})
  set(options
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB
    -sENVIRONMENT=web -sEXIT_RUNTIME=1
    # The program's own main loop blocks; it yields to the browser where it
    # sleeps (the frame pacing, a suspended wait). The sleep sits behind the
    # clock's virtual Delay and std::function hooks, so indirect calls must
    # be able to unwind too.
    -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
    # The shader driver uses WebGL 2 itself, no extension: emscripten's own
    # enabling of every extension costs the context tens of milliseconds.
    -sGL_SUPPORT_AUTOMATIC_ENABLE_EXTENSIONS=0
    # The page makes the canvas's context while it checks for WebGL 2
    # (index.html): the program takes that one.
    -sGL_PREINITIALIZED_CONTEXT=1
    -sFORCE_FILESYSTEM=1 "-sEXPORTED_RUNTIME_METHODS=[FS]")
  # (SHELL: keeps each option with its argument: CMake drops repeated options.)
  foreach(f ${ARG_JS_LIBRARIES})
    list(APPEND options "SHELL:--js-library \"${f}\"")
  endforeach()
  foreach(f ${ARG_PRE_JS})
    list(APPEND options "SHELL:--pre-js \"${f}\"")
  endforeach()
  set(data OFF)
  foreach(p ${ARG_PRELOAD})
    list(APPEND options "SHELL:--preload-file \"${p}\"")
    set(data ON)
    string(REGEX REPLACE "@[^@]*$" "" src "${p}")
    if(NOT IS_DIRECTORY ${src})
      list(APPEND depends ${src})
    endif()
  endforeach()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_NAME} SUFFIX .js
    RUNTIME_OUTPUT_DIRECTORY ${dir} LINK_DEPENDS "${depends}")
  target_link_options(${target} PRIVATE ${options} ${ARG_LINK_OPTIONS})

  # The page's settings for the script that writes it, as written here.
  set(settings ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}-page.cmake)
  set(text "")
  foreach(v NAME TITLE LABEL WIDTH HEIGHT KEYS)
    string(APPEND text "set(KV_PAGE_${v} [==[${ARG_${v}}]==])\n")
  endforeach()
  string(APPEND text "set(KV_PAGE_DATA ${data})\n")
  # (Rewritten only when they change: the page is written again then.)
  file(WRITE ${settings}.new "${text}")
  configure_file(${settings}.new ${settings} COPYONLY)
  # Written again whenever the program, the page or one of its files changes.
  add_custom_command(OUTPUT ${ARG_OUT}/index.html
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=${dir}/${ARG_NAME} -DPAGE=${W}/index.html -DSETTINGS=${settings}
      -DICON=${ARG_ICON} "-DSCRIPTS=${ARG_SCRIPTS}" -DOUT=${ARG_OUT} -P ${PROJECT_SOURCE_DIR}/cmake/WebPageFiles.cmake
    DEPENDS ${target} $<TARGET_FILE:${target}> ${W}/index.html ${settings} ${ARG_ICON} ${ARG_SCRIPTS}
      ${PROJECT_SOURCE_DIR}/cmake/WebPageFiles.cmake
    VERBATIM)
  add_custom_target(${ARG_NAME}_web DEPENDS ${ARG_OUT}/index.html)
endfunction()

# The game's page: build/web/ (index.html and kelvora3d.<hash>.js, .wasm,
# .data, touch_controls.<hash>.js and the icon), so that a cache never mixes
# two builds.
set(KV_WEB_OUT ${PROJECT_SOURCE_DIR}/build/web CACHE PATH "Folder of the finished page")
add_executable(kelvora3d_web_program ${W}/web_main.cpp ${W}/page_input.cpp)
target_link_libraries(kelvora3d_web_program PRIVATE kv_app kv_game kv_runtime kv_assets)
file(GLOB kv_web_data CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.ogg)
# The page's own scripts that run before the program (the on-screen touch
# controls; the page does without them while the file is not there), and
# the score table beside the picture, which sends the games played to
# KV_WEB_SCORES_URL (the page's own server when empty).
file(GLOB kv_web_scripts CONFIGURE_DEPENDS ${W}/touch_controls.js)
set(KV_WEB_SCORES_URL "" CACHE STRING
    "The score table's server for the page (https://host[:port][/path]); empty: the page's own origin")
if(NOT KV_WEB_SCORES_URL STREQUAL "" AND NOT KV_WEB_SCORES_URL MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~/-]*)?$")
  message(FATAL_ERROR "KV_WEB_SCORES_URL must be http(s)://host[:port][/path] (letters, digits, . _ ~ / -): "
                      "${KV_WEB_SCORES_URL}")
endif()
configure_file(${W}/scores.js ${CMAKE_CURRENT_BINARY_DIR}/scores.js @ONLY)
list(APPEND kv_web_scripts ${CMAKE_CURRENT_BINARY_DIR}/scores.js)
kv_web_page(kelvora3d_web_program NAME kelvora3d TITLE "Kelvora 3D" OUT ${KV_WEB_OUT}
  LABEL "Kelvora 3D: arrows steer, Control fires, Space pauses"
  ICON ${PROJECT_SOURCE_DIR}/assets/icons/kelvora3d-48.png SCRIPTS ${kv_web_scripts}
  # The game's page code: its saved values in the browser's storage and what
  # it tells the page (app/web/web_main.cpp), the browser's clock included.
  OWN_SHELL JS_LIBRARIES ${W}/kelvora3d_lib.js PRE_JS ${W}/kelvora3d_pre.js
  PRELOAD ${PROJECT_SOURCE_DIR}/data@/game/data LINK_OPTIONS --exclude-file "*.md" DEPENDS ${kv_web_data})

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
