# The engine for other programs. In this build (add_subdirectory,
# FetchContent): kelvora::engine (Init and Shutdown, and through them every
# module) and kelvora::<module>. Installed
# (`cmake --install B --component sdk --prefix P`, never part of the game's
# install or its package): the public headers with kelvora/version.h, the
# libraries as libkelvora_<module>.a (a name that says whose it is in a
# shared lib/), the CMake package (find_package(Kelvora), the same targets)
# and kelvora.pc for pkg-config.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KV_ENGINE_MODULES runtime io system render audio engine)  # lowest layer first

# The changelog names every version the engine has had.
file(STRINGS ${PROJECT_SOURCE_DIR}/docs/engine-changelog.md kv_changelog_versions REGEX "^## ")
if(NOT "## ${KV_ENGINE_VERSION}" IN_LIST kv_changelog_versions)
  message(FATAL_ERROR "docs/engine-changelog.md has no \"## ${KV_ENGINE_VERSION}\": say what the new version changes")
endif()

string(REPLACE "." ";" kv_version_parts ${KV_ENGINE_VERSION})
list(GET kv_version_parts 0 KV_ENGINE_VERSION_MAJOR)
list(GET kv_version_parts 1 KV_ENGINE_VERSION_MINOR)
list(GET kv_version_parts 2 KV_ENGINE_VERSION_PATCH)
configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in ${PROJECT_BINARY_DIR}/include/kelvora/version.h @ONLY)
target_include_directories(kv_runtime PUBLIC $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)
# The public headers are C++17: a program on them compiles as at least that.
target_compile_features(kv_runtime PUBLIC cxx_std_17)

foreach(m ${KV_ENGINE_MODULES})
  set_target_properties(kv_${m} PROPERTIES EXPORT_NAME ${m} OUTPUT_NAME kelvora_${m})
  add_library(kelvora::${m} ALIAS kv_${m})
endforeach()

# A sanitised engine (the test build's) needs the sanitisers' runtimes in
# every program that links it, this build's or an installed SDK's.
set(kv_sanitizer_link "")
if(KV_SANITIZE OR KV_FUZZ)
  set(kv_sanitizer_link -fsanitize=address,undefined)
elseif(KV_TSAN)
  set(kv_sanitizer_link -fsanitize=thread)
endif()
if(kv_sanitizer_link)
  target_link_options(kv_runtime INTERFACE ${kv_sanitizer_link})
endif()

# Everything the SDK needs built: `cmake --build B --target kv_sdk`.
add_custom_target(kv_sdk)
foreach(m ${KV_ENGINE_MODULES})
  add_dependencies(kv_sdk kv_${m})
endforeach()

# The browser build installs no SDK: its libraries' targets come from
# cmake/WebDeps.cmake, which the package does not know.
if(EMSCRIPTEN)
  return()
endif()

set(KV_SDK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kelvora)
list(TRANSFORM KV_ENGINE_MODULES PREPEND kv_ OUTPUT_VARIABLE kv_sdk_targets)
install(TARGETS ${kv_sdk_targets} EXPORT KelvoraTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk EXCLUDE_FROM_ALL
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kelvora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT sdk EXCLUDE_FROM_ALL FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/kelvora/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kelvora
        COMPONENT sdk EXCLUDE_FROM_ALL)
install(EXPORT KelvoraTargets NAMESPACE kelvora:: DESTINATION ${KV_SDK_CMAKE_DIR}
        COMPONENT sdk EXCLUDE_FROM_ALL)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KelvoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sdk/KelvoraConfig.cmake INSTALL_DESTINATION ${KV_SDK_CMAKE_DIR} NO_SET_AND_CHECK_MACRO)
# A program written for 1.x builds against any later 1.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sdk/KelvoraConfigVersion.cmake
  VERSION ${KV_ENGINE_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sdk/KelvoraConfig.cmake ${PROJECT_BINARY_DIR}/sdk/KelvoraConfigVersion.cmake
        ${PROJECT_SOURCE_DIR}/cmake/KelvoraDependencies.cmake
        DESTINATION ${KV_SDK_CMAKE_DIR} COMPONENT sdk EXCLUDE_FROM_ALL)

# kelvora.pc: the libraries are static, so what they link is in Requires (not
# Requires.private) and the rest in Libs after them. Relocatable: the prefix
# is found from the file's own folder, wherever the SDK was installed. Not
# for Windows, where the CMake package is the way in: the MinGW sdl2.pc would
# rename the program's main.
if(NOT WIN32)
  set(KV_PC_REQUIRES "sdl2 gl libpng zlib freetype2 vorbisfile vorbis ogg x11")
  set(KV_PC_LIBS "")
  foreach(m engine render audio system io runtime)
    string(APPEND KV_PC_LIBS " -lkelvora_${m}")
  endforeach()
  if(KV_QUADMATH)
    string(APPEND KV_PC_LIBS " -lquadmath")
  endif()
  string(APPEND KV_PC_LIBS " -pthread")
  if(kv_sanitizer_link)
    string(APPEND KV_PC_LIBS " ${kv_sanitizer_link}")
  endif()
  file(RELATIVE_PATH KV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" KV_PC_TO_PREFIX "${KV_PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kelvora.pc.in ${PROJECT_BINARY_DIR}/sdk/kelvora.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/sdk/kelvora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT sdk EXCLUDE_FROM_ALL)
endif()
