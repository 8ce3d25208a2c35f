# The page's folder from the linked program (cmake -P, from WebPage.cmake):
# each file the page loads is copied under a name that carries the start of
# its SHA-256 (kelvora3d.1a2b3c4d.wasm), index.html gets their names and sizes
# (@KV_FILES@, @KV_ICON@), and the copies of earlier builds are removed.
# A host can so keep the named files forever and index.html only checks again.
#   -DPROGRAM=<dir>/kelvora3d (.js, .wasm, .data beside it) -DPAGE=index.html
#   -DICON=icon.png -DSCRIPTS=a.js;b.js (may be empty) -DOUT=<folder>
cmake_minimum_required(VERSION 3.21)  # file(COPY_FILE)
foreach(v PROGRAM PAGE ICON OUT)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "WebPageFiles.cmake: -D${v}= is missing")
  endif()
endforeach()
file(MAKE_DIRECTORY ${OUT})
set(kept index.html)

# Copies SRC as <BASE>.<hash>.<EXT> (unless already there); NAME_VAR gets
# the name, SIZE_VAR the size.
function(kv_hashed src base ext name_var size_var)
  if(NOT EXISTS ${src})
    message(FATAL_ERROR "WebPageFiles.cmake: ${src} is missing")
  endif()
  file(SHA256 ${src} sum)
  string(SUBSTRING ${sum} 0 8 sum)
  set(name ${base}.${sum}.${ext})
  if(NOT EXISTS ${OUT}/${name})
    # Through a temporary name, so that a folder being served never has half a file under the real one.
    file(COPY_FILE ${src} ${OUT}/${name}.part)
    file(RENAME ${OUT}/${name}.part ${OUT}/${name})
  endif()
  file(SIZE ${src} size)
  set(${name_var} ${name} PARENT_SCOPE)
  set(${size_var} ${size} PARENT_SCOPE)
  set(kept ${kept} ${name} PARENT_SCOPE)
endfunction()

kv_hashed(${PROGRAM}.js kelvora3d js js js_size)
kv_hashed(${PROGRAM}.wasm kelvora3d wasm wasm wasm_size)
kv_hashed(${PROGRAM}.data kelvora3d data data data_size)
kv_hashed(${ICON} kelvora3d png icon icon_size)
set(scripts "")
foreach(s IN LISTS SCRIPTS)
  get_filename_component(base ${s} NAME_WE)
  kv_hashed(${s} ${base} js name size)
  if(scripts)
    string(APPEND scripts ", ")
  endif()
  string(APPEND scripts "[\"${name}\", ${size}]")
endforeach()
set(files "{\"js\": [\"${js}\", ${js_size}], \"wasm\": [\"${wasm}\", ${wasm_size}], \"data\": [\"${data}\", ${data_size}], \"scripts\": [${scripts}]}")

file(READ ${PAGE} page)
foreach(token @KV_FILES@ @KV_ICON@)
  string(FIND "${page}" "${token}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "WebPageFiles.cmake: ${PAGE} has no ${token}")
  endif()
endforeach()
string(REPLACE "@KV_FILES@" "${files}" page "${page}")
string(REPLACE "@KV_ICON@" "${icon}" page "${page}")
file(WRITE ${OUT}/index.html.part "${page}")
file(RENAME ${OUT}/index.html.part ${OUT}/index.html)

# What earlier builds left: their hashed files, the unhashed ones of the
# layout before, half-copied files; nothing else in the folder is touched.
string(REPEAT "[0-9a-f]" 8 hex)
file(GLOB old RELATIVE ${OUT} ${OUT}/*)
foreach(f IN LISTS old)
  if(NOT f IN_LIST kept AND (f MATCHES "^[A-Za-z0-9_]+\\.${hex}\\.(js|wasm|data|png)(\\.part)?$"
                             OR f MATCHES "^kelvora3d\\.(js|wasm|data|png)$" OR f STREQUAL "index.html.part"))
    file(REMOVE ${OUT}/${f})
  endif()
endforeach()
