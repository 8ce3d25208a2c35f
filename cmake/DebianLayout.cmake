# Run by CPack on the staged tree of the .deb, just before it is packed: the
# package follows Debian's policy where it differs from the freedesktop.org
# layout that `make install` gives a prefix.
#   usr/games/kelvora3d                  games go to /usr/games; the program
#                                        still finds ../share/kelvora3d/data
#   usr/share/man/man6/kelvora3d.6.gz    manual pages are compressed
#   usr/share/doc/kelvora3d/changelog.gz the release history (a native package)
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT EXISTS "${usr}/bin/kelvora3d")
  message(FATAL_ERROR "no program to move in ${usr}/bin")
endif()

file(MAKE_DIRECTORY "${usr}/games")
file(RENAME "${usr}/bin/kelvora3d" "${usr}/games/kelvora3d")
file(GLOB left "${usr}/bin/*")
if(NOT left)
  file(REMOVE_RECURSE "${usr}/bin")
endif()

# -n: no name or time stamp inside, so the same files give the same package.
function(kv_gzip file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

kv_gzip("${usr}/share/man/man6/kelvora3d.6")
file(COPY_FILE "${CPACK_KV_CHANGELOG}" "${usr}/share/doc/kelvora3d/changelog")
file(CHMOD "${usr}/share/doc/kelvora3d/changelog" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
kv_gzip("${usr}/share/doc/kelvora3d/changelog")
