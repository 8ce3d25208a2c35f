# kv_module(name [DEPS libs...] [EXCLUDE files...])
# Builds every .cpp of the folder <name>/ (backend subfolders included) into the static library kv_<name>.
# A folder with no sources yet becomes an interface library, so later
# modules can depend on it before it has code.
function(kv_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  # Platform backends sit in a folder of their own inside the module.
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp ${CMAKE_SOURCE_DIR}/${name}/*/*.cpp)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${name}/${ex})
  endforeach()
  if(sources)
    add_library(kv_${name} STATIC ${sources})
    target_include_directories(kv_${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(kv_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(kv_${name} INTERFACE)
    target_include_directories(kv_${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(kv_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kv_test(name SOURCES files... LIBS libs...)
# One GoogleTest executable, registered with CTest test by test.
function(kv_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE KV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
