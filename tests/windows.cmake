# The suites that need no display, cross-built for Windows and run by ctest
# under Wine (scripts/wine-tests.sh). The same sources as the native suites;
# what needs an X server or a GL window stays with those.
set(T ${CMAKE_CURRENT_SOURCE_DIR})
# As kv_test, but one ctest test per program, all its cases in one Wine
# process: a Wine start-up costs more than most cases, and now and then fails
# on its own (scripts/wine-suite.sh tells that apart). gtest's output names
# the failing case.
function(kv_windows_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE KV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-suite.sh $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
function(kv_windows_suite name folder)
  cmake_parse_arguments(ARG "" "" "SKIP;LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${T}/${folder}/*.cpp)
  foreach(skip ${ARG_SKIP})
    list(FILTER srcs EXCLUDE REGEX "/${skip}$")
  endforeach()
  kv_windows_test(${name} SOURCES ${srcs} LIBS ${ARG_LIBS} LABELS ${folder})
endfunction()

kv_windows_suite(test_runtime runtime LIBS kv_runtime)
kv_embed(kv_io_fixtures RegisterIoFixtures
  "fixtures\\block.bin" ${T}/io/fixtures/block.bin
  "fixtures\\lines.txt" ${T}/io/fixtures/lines.txt)
kv_windows_suite(test_io io LIBS kv_io kv_io_fixtures)
kv_windows_suite(test_system system SKIP "x11_.*" sdl_joystick_test.cpp LIBS kv_system PkgConfig::SDL2)
find_library(KV_LIB_vorbisenc NAMES vorbisenc REQUIRED)
kv_windows_suite(test_audio audio SKIP sdl_output_test.cpp audiodriver_test.cpp mixer_threads_test.cpp
                 LIBS kv_audio ${KV_LIB_vorbisenc})
# What the reference decoder makes of the desktop sounds, decoded on the
# build machine (it cannot run under Wine) for the suite to compare with.
find_program(KV_OGGDEC oggdec NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(sounds /usr/share/sounds/freedesktop/stereo)
set(decodes ${CMAKE_CURRENT_BINARY_DIR}/oggdec)
add_custom_command(OUTPUT ${decodes}/.complete
  COMMAND ${CMAKE_COMMAND} -E make_directory ${decodes}
  COMMAND sh -c "for f in ${sounds}/*.oga; do ${KV_OGGDEC} -Q -R -o ${decodes}/\${f##*/}.raw \$f || exit 1; done"
  COMMAND ${CMAKE_COMMAND} -E touch ${decodes}/.complete
  VERBATIM)
add_custom_target(kv_reference_decodes DEPENDS ${decodes}/.complete)
add_dependencies(test_audio kv_reference_decodes)
target_compile_definitions(test_audio PRIVATE KV_REFERENCE_DECODES="${decodes}")
kv_windows_suite(test_render render SKIP "gl.*_test.cpp" graphics_gl_test.cpp image_gl_test.cpp
                 graphics_screen_test.cpp font_test.cpp context_loss_test.cpp LIBS kv_render)
kv_windows_test(test_game SOURCES ${T}/game/game_fixture.cpp ${T}/game/qvdraw_test.cpp ${T}/game/entities_test.cpp
                ${T}/game/screens_test.cpp LIBS kv_game kv_app LABELS game)
kv_windows_suite(test_app app LIBS kv_app)
kv_windows_test(test_assets SOURCES ${T}/assets/images_test.cpp ${T}/assets/sounds_test.cpp
                LIBS kv_assets kv_render kv_audio kv_io LABELS assets)
target_compile_definitions(test_assets PRIVATE KV_BUILD_DIR="${PROJECT_BINARY_DIR}")

# The engine's headers with <windows.h> before and after them.
kv_windows_test(test_windows_headers SOURCES ${T}/windows_headers/windows_first_test.cpp
                ${T}/windows_headers/windows_after_test.cpp LIBS kv_engine LABELS windows_headers)
