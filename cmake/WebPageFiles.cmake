# A page's folder from its linked program (cmake -P, from kv_web_page in
# WebPage.cmake): each file the page loads is copied under a name that
# carries the start of its SHA-256 (kelvora3d.1a2b3c4d.wasm), index.html is
# the page template with the program's settings and those files' names and
# sizes filled in, and the copies of earlier builds are removed. A host can
# so keep the named files forever and index.html only checks again.
#   -DPROGRAM=<dir>/<name> (.js, .wasm and, with data, .data beside it)
#   -DPAGE=index.html -DSETTINGS=<file> -DOUT=<folder>
#   -DICON=icon.png (may be empty) -DSCRIPTS=a.js;b.js (may be empty)
# SETTINGS sets KV_PAGE_NAME (the files' base name), KV_PAGE_TITLE,
# KV_PAGE_LABEL, KV_PAGE_WIDTH, KV_PAGE_HEIGHT, KV_PAGE_KEYS (key codes the
# program takes even with Control held) and KV_PAGE_DATA (ON with a .data).
# The template's fields: @KV_PAGE_TITLE@, @KV_PAGE_LABEL@ (as HTML text),
# @KV_PAGE_WIDTH@, @KV_PAGE_HEIGHT@, @KV_PAGE@ (all of them as a JavaScript
# object), @KV_FILES@ and @KV_ICON@ (required).
cmake_minimum_required(VERSION 3.21)  # file(COPY_FILE)
foreach(v PROGRAM PAGE SETTINGS OUT)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "WebPageFiles.cmake: -D${v}= is missing")
  endif()
endforeach()
include(${SETTINGS})
file(MAKE_DIRECTORY ${OUT})
set(kept index.html)
set(N ${KV_PAGE_NAME})

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

# Text as a JavaScript string and as HTML text (for attributes too).
function(kv_js_string text var)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "<" "\\u003c" text "${text}")  # never a "</script>"
  set(${var} "\"${text}\"" PARENT_SCOPE)
endfunction()
function(kv_html text var)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

kv_hashed(${PROGRAM}.js ${N} js js js_size)
kv_hashed(${PROGRAM}.wasm ${N} wasm wasm wasm_size)
set(data null)
if(KV_PAGE_DATA)
  kv_hashed(${PROGRAM}.data ${N} data data_name data_size)
  set(data "[\"${data_name}\", ${data_size}]")
endif()
# Without an icon of its own the page says it has none: the browser then
# asks for no /favicon.ico.
set(icon "data:,")
if(ICON)
  kv_hashed(${ICON} ${N} png icon icon_size)
endif()
set(scripts "")
foreach(s IN LISTS SCRIPTS)
  get_filename_component(base ${s} NAME_WE)
  kv_hashed(${s} ${base} js name size)
  if(scripts)
    string(APPEND scripts ", ")
  endif()
  string(APPEND scripts "[\"${name}\", ${size}]")
endforeach()
set(files "{\"js\": [\"${js}\", ${js_size}], \"wasm\": [\"${wasm}\", ${wasm_size}], \"data\": ${data}, \"scripts\": [${scripts}]}")

kv_js_string("${KV_PAGE_TITLE}" title_js)
kv_js_string("${N}" name_js)
set(keys "")
foreach(k IN LISTS KV_PAGE_KEYS)
  kv_js_string("${k}" k)
  list(APPEND keys "${k}")
endforeach()
list(JOIN keys ", " keys)
set(settings "{\"title\": ${title_js}, \"program\": ${name_js}, \"width\": ${KV_PAGE_WIDTH}, \"height\": ${KV_PAGE_HEIGHT}, \"keys\": [${keys}]}")
kv_html("${KV_PAGE_TITLE}" title_html)
kv_html("${KV_PAGE_LABEL}" label_html)

file(READ ${PAGE} page)
foreach(token @KV_FILES@ @KV_ICON@)
  string(FIND "${page}" "${token}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "WebPageFiles.cmake: ${PAGE} has no ${token}")
  endif()
endforeach()
string(REPLACE "@KV_FILES@" "${files}" page "${page}")
string(REPLACE "@KV_ICON@" "${icon}" page "${page}")
string(REPLACE "@KV_PAGE@" "${settings}" page "${page}")
string(REPLACE "@KV_PAGE_TITLE@" "${title_html}" page "${page}")
string(REPLACE "@KV_PAGE_LABEL@" "${label_html}" page "${page}")
string(REPLACE "@KV_PAGE_WIDTH@" "${KV_PAGE_WIDTH}" page "${page}")
string(REPLACE "@KV_PAGE_HEIGHT@" "${KV_PAGE_HEIGHT}" page "${page}")
file(WRITE ${OUT}/index.html.part "${page}")
file(RENAME ${OUT}/index.html.part ${OUT}/index.html)

# What earlier builds left: their hashed files, the unhashed ones of the
# layout before, half-copied files; nothing else in the folder is touched.
string(REPEAT "[0-9a-f]" 8 hex)
file(GLOB old RELATIVE ${OUT} ${OUT}/*)
foreach(f IN LISTS old)
  if(NOT f IN_LIST kept AND (f MATCHES "^[A-Za-z0-9_]+\\.${hex}\\.(js|wasm|data|png)(\\.part)?$"
                             OR f MATCHES "^${N}\\.(js|wasm|data|png)$" OR f STREQUAL "index.html.part"))
    file(REMOVE ${OUT}/${f})
  endif()
endforeach()
