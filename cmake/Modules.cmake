# kv_module(name [DEPS libs...] [EXCLUDE files...])
# Builds every .cpp of the folder <name>/ and of its backend folders
# (<name>/gl/, <name>/sdl/ ...) into the static library kv_<name>.
# Backend folders of one system build only for it: win/ for Windows,
# posix/ and x11/ everywhere else.
# A folder with no sources yet becomes an interface library, so later
# modules can depend on it before it has code.
set(KV_EXACT_FLOAT_MODULES game system render)
# The browser's backends build only for the browser; there, the desktop's
# window and context code, its choice of driver, its X11 parts and the
# threaded sound-card output give way to them.
if(EMSCRIPTEN)
  set(KV_PLATFORM_EXCLUDE "render/sdl/.*\\.cpp" "render/gl/gl_default_driver\\.cpp"
      "render/x11/.*\\.cpp" "audio/sdl/.*\\.cpp")
else()
  set(KV_PLATFORM_EXCLUDE "[a-z]+/web/.*\\.cpp")
endif()

function(kv_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp ${PROJECT_SOURCE_DIR}/${name}/*/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "/${name}/(posix|x11)/")
  else()
    list(FILTER sources EXCLUDE REGEX "/${name}/win/")
  endif()
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/${name}/${ex})
  endforeach()
  # Backends of another platform (KV_PLATFORM_EXCLUDE: regular expressions
  # on paths relative to the source tree).
  foreach(ex ${KV_PLATFORM_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "^${PROJECT_SOURCE_DIR}/${ex}$")
  endforeach()
  if(sources)
    add_library(kv_${name} STATIC ${sources})
    target_include_directories(kv_${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                                $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
    target_link_libraries(kv_${name} PUBLIC ${ARG_DEPS})
    # The game, its random numbers and the collisions and transforms that
    # decide hits: no fused multiply-adds, so that a replay gives the same
    # game on every architecture.
    if(name IN_LIST KV_EXACT_FLOAT_MODULES)
      target_compile_options(kv_${name} PRIVATE -ffp-contract=off)
    endif()
  else()
    add_library(kv_${name} INTERFACE)
    target_include_directories(kv_${name} INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                                   $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
    target_link_libraries(kv_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kv_test(name SOURCES files... LIBS libs...)
# One GoogleTest executable, registered with CTest test by test.
function(kv_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE KV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(CMAKE_CROSSCOMPILING)
    # Listed when ctest runs (through the emulator), not while building.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
