#!/bin/bash
# Cross-builds the libraries the Windows program links (SDL2, zlib, libpng,
# FreeType, libogg, libvorbis) and GoogleTest from Debian's own source
# packages, kept in third_party/debian-sources, static, with the MinGW-w64
# toolchain, into a cache outside the clone. The cache folder is keyed by the
# pinned versions and the recipe's revision (raise it when the build below
# changes), so a rerun finds it and builds nothing.
#   build-windows-deps.sh        builds what is missing, prints the prefix
# KV_DEPS_CACHE moves the cache (default ~/.cache/kelvora3d).
set -euo pipefail
HERE=$(cd "$(dirname "$0")/.." && pwd)
TOOLCHAIN=$HERE/cmake/mingw-w64.cmake
JOBS=${JOBS:-2}

# The versions kept in third_party/debian-sources (scripts/refresh-dep-sources.sh
# adds a new one).
PINS="libsdl2=2.26.5+dfsg-1 zlib=1:1.2.13.dfsg-1 libpng1.6=1.6.39-2+deb12u5 \
freetype=2.12.1+dfsg-5+deb12u4 libogg=1.3.5-3 libvorbis=1.3.7-1 googletest=1.12.1-0.2"

RECIPE=4
key=$(printf '%s recipe %s\n' "$PINS" "$RECIPE" | sha256sum | cut -c1-12)
CACHE=${KV_DEPS_CACHE:-${HOME:-/root}/.cache/kelvora3d}
PREFIX=$CACHE/windows-deps-$key
if [ -f "$PREFIX/.complete" ]; then
  echo "$PREFIX"
  exit 0
fi

WORK=$CACHE/windows-deps-$key.work
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK/src" "$WORK/build" "$PREFIX"
log=$WORK/build.log
echo "Building the Windows libraries into $PREFIX (log: $log)" >&2

"$HERE/scripts/unpack-dep-sources.sh" "$WORK/src" $PINS >>"$log" 2>&1 ||
  { echo "unpacking the sources failed" >&2; tail -5 "$log" >&2; exit 1; }
cd "$WORK/src"
src() { ls -d "$WORK/src/$1"*/ | head -n 1; }

CM=(cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DKV_WINDOWS_DEPS="$PREFIX"
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER_LAUNCHER=
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF)
build() {  # build NAME SOURCE [cmake args...]
  local name=$1 source=$2 t0=$SECONDS
  shift 2
  { "${CM[@]}" -S "$source" -B "$WORK/build/$name" "$@" &&
    nice -n 10 ninja -C "$WORK/build/$name" -j"$JOBS" &&
    ninja -C "$WORK/build/$name" install; } >>"$log" 2>&1 ||
    { echo "building $name failed" >&2; tail -20 "$log" >&2; exit 1; }
  echo "  $name: $((SECONDS - t0)) s" >&2
}

# zlib's Debian source lacks the resource file its DLL needs: the static
# library only, installed by hand.
t0=$SECONDS
z=$(src zlib)
{ "${CM[@]}" -S "$z" -B "$WORK/build/zlib" && nice -n 10 ninja -C "$WORK/build/zlib" -j"$JOBS" zlibstatic; } >>"$log" 2>&1 ||
  { echo "building zlib failed" >&2; tail -20 "$log" >&2; exit 1; }
mkdir -p "$PREFIX/lib/pkgconfig" "$PREFIX/include"
cp "$WORK/build/zlib/libzlibstatic.a" "$PREFIX/lib/libz.a"
cp "$z/zlib.h" "$WORK/build/zlib/zconf.h" "$PREFIX/include/"
cp "$WORK/build/zlib/zlib.pc" "$PREFIX/lib/pkgconfig/"
echo "  zlib: $((SECONDS - t0)) s" >&2
ZL=(-DZLIB_LIBRARY="$PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$PREFIX/include")

build png "$(src libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF "${ZL[@]}"
build freetype "$(src freetype)" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
  -DFT_DISABLE_BZIP2=ON -DFT_REQUIRE_ZLIB=ON -DFT_REQUIRE_PNG=ON "${ZL[@]}"
build ogg "$(src libogg)" -DBUILD_SHARED_LIBS=OFF -DINSTALL_DOCS=OFF
# libvorbis is built with the optimisation flags of Debian's package (the
# same compiler then reassociates its transform's sums the same way), and
# with its transform's tables' sines and cosines computed in quadruple
# precision and rounded once, as glibc's are: MinGW's x87 versions differ in
# the last bit. The decoded sound is then the Linux game's, bit for bit.
cat >"$WORK/kv-vorbis-math.h" <<'MATH'
#include <math.h>
#include <quadmath.h>
static inline double kv_vorbis_cos(double x) { return (double)cosq(x); }
static inline double kv_vorbis_sin(double x) { return (double)sinq(x); }
#define cos kv_vorbis_cos
#define sin kv_vorbis_sin
MATH
build vorbis "$(src libvorbis)" -DBUILD_SHARED_LIBS=OFF "-DCMAKE_C_FLAGS=-include $WORK/kv-vorbis-math.h" \
  "-DCMAKE_C_FLAGS_RELEASE=-O2 -ffast-math -mno-ieee-fp -fsigned-char"
# SDL without the parts the game never uses (its 2D renderer, force
# feedback, sensors, Vulkan): a good part of the build time. HIDAPI stays:
# its pad drivers read PlayStation and Switch pads fully, and SDL's build
# offers virtual pads (which the tests plug in and pull out) only with it.
build sdl2 "$(src libsdl2)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_RENDER=OFF \
  -DSDL_HAPTIC=OFF -DSDL_SENSOR=OFF -DSDL_VULKAN=OFF
build gtest "$(src googletest)" -DBUILD_SHARED_LIBS=OFF

# The licences the program's archive carries, beside the libraries.
L=$PREFIX/licences
mkdir -p "$L"
cp "$(src libsdl2)/LICENSE.txt" "$L/SDL2.txt"
cp "$(src libpng1.6)/LICENSE" "$L/libpng.txt"
cp "$(src freetype)/docs/FTL.TXT" "$L/FreeType.txt"
cp "$(src libogg)/COPYING" "$L/libogg.txt"
cp "$(src libvorbis)/COPYING" "$L/libvorbis.txt"
sed -n '/^Copyright notice/,$p' "$z/README" >"$L/zlib.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$L/MinGW-w64-runtime.txt"
printf '%s\n' $PINS >"$PREFIX/versions.txt"

rm -rf "$WORK"
touch "$PREFIX/.complete"
echo "$PREFIX"
