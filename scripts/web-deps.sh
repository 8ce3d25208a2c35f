#!/bin/bash
# Builds the libraries of the browser build (SDL2, zlib, libpng, FreeType,
# libogg, libvorbis) for emscripten from Debian's source packages, kept in
# third_party/debian-sources, into a cache outside the clone keyed by their
# versions. A cache that exists is used as it is. Prints the prefix.
#   scripts/web-deps.sh [CACHE_ROOT]   (default ${XDG_CACHE_HOME:-~/.cache}/kelvora3d)
set -euo pipefail
SRC_DIR=$(cd "$(dirname "$0")/.." && pwd)

# Source package versions (Debian 12), as kept in third_party/debian-sources
# (scripts/refresh-dep-sources.sh adds a new one). Raising one makes a new
# cache entry.
SDL2=2.26.5+dfsg-1
ZLIB=1:1.2.13.dfsg-1
PNG=1.6.39-2+deb12u5
FREETYPE=2.12.1+dfsg-5+deb12u4
OGG=1.3.5-3
VORBIS=1.3.7-1
# Bumped when this script builds the same versions differently.
RECIPE=3

EMCC_VERSION=$(emcc --version 2>/dev/null | sed -n '1s/.* \([0-9][0-9.]*\) .*/\1/p')
[ -n "$EMCC_VERSION" ] || { echo "web-deps: emcc not found (scripts/install-deps.sh web installs it)" >&2; exit 1; }
key="em$EMCC_VERSION-sdl2-$SDL2-zlib-$ZLIB-png-$PNG-ft-$FREETYPE-ogg-$OGG-vorbis-$VORBIS-r$RECIPE"
key=$(printf '%s' "$key" | tr ':+' '._')
root=${1:-${KV_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvora3d}}
prefix=$root/web-$key
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# emcc runs acorn from Debian's node modules, which a Node not from Debian
# does not search by itself.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
mkdir -p "$root"
# One build of an entry at a time (two checkouts may ask at once).
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
# The libraries' CMake and pkg-config files name their prefix: they are
# installed where they stay, and the entry is marked complete only at the
# end. An interrupted build goes on where it stopped (one stamp per step).
work=$prefix.work
log=$work/log
src=$work/src; build=$work/build; stage=$prefix
mkdir -p "$src" "$build" "$stage"
start=$(date +%s)
step() { echo "web-deps: $*" >&2; }
fail() { echo "web-deps: failed; the last lines of $log:" >&2; tail -30 "$log" >&2; exit 1; }
done_step() { [ -f "$work/stamp-$1" ]; }
stamp() { touch "$work/stamp-$1"; }

if ! done_step sources; then
  step "unpacking the source packages"
  rm -rf "$src" && mkdir -p "$src"
  "$SRC_DIR/scripts/unpack-dep-sources.sh" "$src" "libsdl2=$SDL2" "zlib=$ZLIB" "libpng1.6=$PNG" \
    "freetype=$FREETYPE" "libogg=$OGG" "libvorbis=$VORBIS" >>"$log" 2>&1 || fail
  # libvorbis turns decoded samples into 16-bit values with x86-64's rounding
  # there (to nearest, ties to even) and with floor(x + 0.5) elsewhere: the
  # same rounding here keeps the mixed sound bit for bit the desktop's.
  os_h=$(find "$src" -path '*/libvorbis-*/lib/os.h')
  grep -q 'return (int)floor(f+.5);' "$os_h" || { echo "web-deps: libvorbis's rounding not found in $os_h" >&2; exit 1; }
  sed -i 's/return (int)floor(f+.5);/return (int)rint(f);/' "$os_h"
  stamp sources
fi
dir_of() { find "$src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1; }

cmake_lib() {
  local name=$1 from=$2; shift 2
  done_step "$name" && return 0
  step "building $name"
  nice -n 10 cmake -G Ninja -S "$from" -B "$build/$name" -DCMAKE_TOOLCHAIN_FILE="$SRC_DIR/cmake/web.cmake" \
    -DKV_WEB_PREFIX="$stage" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" "$@" >>"$log" 2>&1 || fail
  nice -n 10 cmake --build "$build/$name" -j"${JOBS:-2}" >>"$log" 2>&1 || fail
  cmake --install "$build/$name" >>"$log" 2>&1 || fail
  stamp "$name"
}

# SDL would wrap emcc in ccache: two emcc starts per file for a library built once.
cmake_lib sdl2 "$(dir_of libsdl2)" -C "$SRC_DIR/cmake/sdl2-emscripten-seed.cmake" \
  -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_PTHREADS=OFF -DSDL_THREADS=OFF -DSDL_CCACHE=OFF

# zlib's CMake project needs win32/zlib1.rc, which Debian's tarball leaves out:
# its own configure script, in a copy of the tree.
if ! done_step zlib; then
  step "building zlib"
  rm -rf "$build/zlib"
  cp -r "$(dir_of zlib)" "$build/zlib"
  (cd "$build/zlib" && nice -n 10 emconfigure ./configure --static --prefix="$stage" &&
    nice -n 10 emmake make -j"${JOBS:-2}" libz.a && make install) >>"$log" 2>&1 || fail
  stamp zlib
fi

zlib_args=(-DZLIB_LIBRARY="$stage/lib/libz.a" -DZLIB_INCLUDE_DIR="$stage/include")
cmake_lib png "$(dir_of libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=OFF "${zlib_args[@]}"
# Without FT_REQUIRE_ZLIB FreeType compiles its own inflate with global names,
# which then clash with zlib's.
cmake_lib freetype "$(dir_of freetype)" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
  -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_REQUIRE_ZLIB=ON "${zlib_args[@]}"
# libogg's type-size checks would each run a program under node: the wasm32 answers.
ogg_sizes=()
for kv in INT16:2 UINT16:2 U_INT16:2 SHORT:2 INT32:4 UINT32:4 U_INT32:4 INT:4 LONG:4 INT64:8 LONG_LONG:8; do
  ogg_sizes+=(-DHAVE_${kv%%:*}_SIZE=TRUE -D${kv%%:*}_SIZE=${kv##*:})
done
cmake_lib ogg "$(dir_of libogg)" -DBUILD_SHARED_LIBS=OFF -DINSTALL_DOCS=OFF "${ogg_sizes[@]}"
# Debian's libvorbis is built with -ffast-math, and GCC reassociates the sums
# of its transform's small butterflies; clang keeps them as written, and a few
# hundred samples of the game's sounds would differ by one step. The
# butterflies are written out in GCC's order (third_party/vorbis, made by
# scripts/vorbis-gcc-order.py from GCC's own dump of the file built with
# Debian's flags), and built without contraction: the browser then decodes
# what the desktop game decodes, bit for bit.
if ! done_step vorbis-order; then
  step "writing libvorbis's butterflies in GCC's order"
  patch -d "$(dir_of libvorbis)" -p1 --forward --no-backup-if-mismatch \
    -i "$SRC_DIR/third_party/vorbis/mdct-gcc-order.patch" >>"$log" 2>&1 || fail
  stamp vorbis-order
fi
cmake_lib vorbis "$(dir_of libvorbis)" -DBUILD_SHARED_LIBS=OFF -DCMAKE_C_FLAGS=-ffp-contract=off

for lib in SDL2 z png16 freetype ogg vorbis vorbisfile; do
  [ -f "$prefix/lib/lib$lib.a" ] || { echo "web-deps: lib$lib.a is missing from $prefix" >&2; exit 1; }
done
touch "$prefix/.complete"
rm -rf "$work"
step "libraries built in $(( $(date +%s) - start )) s into $prefix"
echo "$prefix"
