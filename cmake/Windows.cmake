# Building for Windows with MinGW-w64 (cmake/mingw-w64.cmake): the libraries
# come static from KV_WINDOWS_DEPS (scripts/build-windows-deps.sh) under the
# target names the native build gets from its packages, and the program is
# one self-contained .exe that imports only DLLs of Windows itself.
add_link_options(-static)
# The libraries themselves are found by cmake/KelvoraDependencies.cmake, as
# a project that finds the installed engine finds them.

# kv_windows_program(target): a program for players: no console window of
# its own, the game's icon, the version information Explorer shows, and the
# manifest (app/win/kelvora3d.manifest).
function(kv_windows_program target)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  set(icons "")
  set(group "")
  set(n 0)
  foreach(size 16 32 48 64 128 256)
    math(EXPR n "${n} + 1")
    set(png ${PROJECT_SOURCE_DIR}/assets/icons/kelvora3d-${size}.png)
    file(SIZE ${png} bytes)
    # Icon images as PNG, and the directory that lists them (RT_GROUP_ICON):
    # width and height (0 for 256), colours, planes, bits, size, id.
    string(APPEND icons "${n} 3 \"${png}\"\n")
    math(EXPR side "${size} % 256")
    math(EXPR wh "${side} + ${side} * 256")
    string(APPEND group "  ${wh}, 0, 1, 32, ${bytes}L, ${n},\n")
  endforeach()
  string(REPLACE ";" "," version_commas "${PROJECT_VERSION_MAJOR};${PROJECT_VERSION_MINOR};${PROJECT_VERSION_PATCH};0")
  set(KV_ICON_IMAGES "${icons}")
  set(KV_ICON_GROUP "  0, 1, ${n},\n${group}")
  set(KV_VERSION_COMMAS ${version_commas})
  string(REPLACE "," "." KV_VERSION_DOTS "${version_commas}")
  set(KV_MANIFEST ${PROJECT_BINARY_DIR}/kelvora3d.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/app/win/kelvora3d.manifest ${KV_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/app/win/kelvora3d.rc.in ${PROJECT_BINARY_DIR}/kelvora3d.rc @ONLY)
  # windres does not see what the script includes: rebuilt when the manifest changes.
  set_source_files_properties(${PROJECT_BINARY_DIR}/kelvora3d.rc PROPERTIES OBJECT_DEPENDS ${KV_MANIFEST})
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/kelvora3d.rc)
endfunction()

# The shader driver declares its entry points with the Khronos OpenGL ES 3
# headers, which MinGW-w64 lacks. Debian's copies (libgles-dev, libgl-dev)
# are the same for every system and know Windows' calling convention: they
# are copied into the build, apart from the build machine's other headers.
find_path(KV_KHRONOS_INCLUDE GLES3/gl3.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${KV_KHRONOS_INCLUDE}/GLES3 ${KV_KHRONOS_INCLUDE}/KHR DESTINATION ${PROJECT_BINARY_DIR}/khronos)
include_directories(SYSTEM ${PROJECT_BINARY_DIR}/khronos)
