#!/bin/bash
# `make windows`: the Windows program cross-built with MinGW-w64 and packed
# for players as build/windows/Kelvora3D-<version>-win64.zip: kelvora3d.exe
# (no DLL beside it), data/, README.txt and the licences of everything in it.
#   make-windows.sh [BUILD_DIR]    the program's build folder (build/windows/build)
# KV_WINDOWS_OUT moves the zip and its tree (build/windows).
set -e
cd "$(dirname "$0")/.."
OUT=${KV_WINDOWS_OUT:-build/windows}
B=${1:-$OUT/build}
JOBS=${JOBS:-2}
triple=x86_64-w64-mingw32

./scripts/install-deps.sh windows
deps=$(nice -n 10 ./scripts/build-windows-deps.sh | tail -n 1)
# Against another set of libraries (a new recipe), configured afresh: the
# cache would keep the old set's paths.
fresh=--fresh
grep -qsx "KV_WINDOWS_DEPS:[A-Z]*=$deps" "$B/CMakeCache.txt" && fresh=""
# The link map tells which libraries the program took code from (their
# licences are checked below).
map=$(realpath -m "$B")/kelvora3d.map
cmake $fresh -S . -B "$B" -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64.cmake" -DKV_WINDOWS_DEPS="$deps" \
  -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-Map=$map" >/dev/null
nice -n 10 cmake --build "$B" -j"$JOBS" --target kelvora3d
# A program linked before the map was asked for, or a map a configure check
# wrote over, is linked again.
if ! grep -qs 'kelvora3d\.dir/' "$map"; then
  rm -f "$B/kelvora3d.exe"
  nice -n 10 cmake --build "$B" -j"$JOBS" --target kelvora3d
  grep -qs 'kelvora3d\.dir/' "$map" || { echo "make-windows: the link wrote no map to $map" >&2; exit 1; }
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$B/CMakeCache.txt")
name=Kelvora3D-$version
tree=$OUT/$name
rm -rf "$tree" "$OUT/$name-win64.zip"
mkdir -p "$tree/data" "$tree/licences"
$triple-strip -o "$tree/kelvora3d.exe" "$B/kelvora3d.exe"
cp data/*.ogg "$tree/data/"
sed "s/@VERSION@/$version/" app/win/README.txt.in | sed 's/$/\r/' >"$tree/README.txt"

# The licences of everything linked in. The libraries' (dist/licences, from
# the pinned Debian sources) must be for the versions built.
L=$tree/licences
cp dist/copyright "$L/Kelvora3D.txt"
cp /usr/share/doc/fonts-play/copyright "$L/Play-font.txt"
for lib in SDL2 libpng FreeType libogg libvorbis zlib; do
  pin=$(sed -n '1s/.*source package \([^ ]*\): .*/\1/p' "dist/licences/$lib.txt")
  grep -qxF "$pin" "$deps/versions.txt" ||
    { echo "make-windows: dist/licences/$lib.txt is for $pin, not a version in $deps/versions.txt" >&2; exit 1; }
  cp "dist/licences/$lib.txt" "$L/"
done
# The toolchain's: the MinGW-w64 runtime (its C runtime, winpthreads and the
# Windows import libraries), the GCC runtime and libquadmath, named by the
# Debian versions that built them (12.2.0-14+deb12u1+25.2+b1: gcc-12's
# version, then gcc-mingw-w64's).
cp /usr/share/doc/mingw-w64-common/copyright "$L/MinGW-w64-runtime.txt"
gcc_bin=$(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix)
gcc_mingw=$(dpkg-query -W -f='${source:Version}' gcc-mingw-w64-x86-64-posix)
gcc_src=${gcc_bin%%+"$gcc_mingw"*}
for f in GCC-runtime libquadmath; do
  sed -e "s|@TOOLCHAIN@|gcc-mingw-w64-x86-64-posix $gcc_bin|" -e "s|@VERSION@|$version|" \
    -e "s|@GCC_MINGW@|$gcc_mingw|g" -e "s|@GCC_SRC@|$gcc_src|g" -e "s|@GCC_SRC_URL@|$(echo "$gcc_src" | sed 's/+/%2B/g')|g" \
    "dist/licences/$f.txt" >"$L/$f.txt"
done
cat /usr/share/common-licenses/GPL-3 >>"$L/GCC-runtime.txt"
{ sed -n '/^libquadmath\/\*\.\[hc\]:$/,/^gcc\/go\/gofrontend, libgo:$/p' /usr/share/doc/gcc-mingw-w64-base/copyright | head -n -1
  printf '\n'; cat /usr/share/common-licenses/LGPL-2.1; } >>"$L/libquadmath.txt"
grep -q 'cosq_kernel.c' "$L/libquadmath.txt" || { echo "make-windows: libquadmath's notices not found" >&2; exit 1; }

# Every library the link took code from has its licence in the folder, and
# every licence there is for something linked: a new library without one, or
# one left for a library no longer linked, stops the packing.
need=$({
  sed -n '/^Archive member included/,/^Discarded input sections/s/^\([^ (]*\.a\)(.*/\1/p' "$map"
  sed -n 's/^LOAD \(.*\.o\)$/\1/p' "$map"
} | sort -u | while read -r input; do
  case $(cd "$B" && realpath -m "$input") in
    "$(realpath "$B")"/assets/*) echo Kelvora3D; echo Play-font ;;  # the images and the embedded font
    "$(realpath "$B")"/*) echo Kelvora3D ;;
    "$(realpath "$deps")"/lib/libSDL2.a) echo SDL2 ;;
    "$(realpath "$deps")"/lib/libpng*.a) echo libpng ;;
    "$(realpath "$deps")"/lib/libfreetype.a) echo FreeType ;;
    "$(realpath "$deps")"/lib/libz.a) echo zlib ;;
    "$(realpath "$deps")"/lib/libogg.a) echo libogg ;;
    "$(realpath "$deps")"/lib/libvorbis*.a) echo libvorbis ;;
    /usr/x86_64-w64-mingw32/lib/*) echo MinGW-w64-runtime ;;
    /usr/lib/gcc/$triple/*/libquadmath.a) echo libquadmath ;;
    /usr/lib/gcc/$triple/*) echo GCC-runtime ;;
    *) echo "make-windows: no licence known for $input, linked into kelvora3d.exe" >&2; echo "?" ;;
  esac
done | sort -u)
have=$(cd "$L" && ls | sed 's/\.txt$//' | sort)
if [ "$need" != "$have" ]; then
  echo "make-windows: the licences do not match what kelvora3d.exe links ($map):" >&2
  diff <(echo "$need") <(echo "$have") | sed -n 's/^</  missing:/p; s/^>/  not linked:/p' >&2
  exit 1
fi
for f in "$L"/*.txt; do sed -i 's/\r*$/\r/' "$f"; done
(cd "$OUT" && rm -f "$name-win64.zip" && zip -qr9 "$name-win64.zip" "$name")

echo "$OUT/$name-win64.zip: $(stat -c %s "$OUT/$name-win64.zip") bytes"
unzip -l "$OUT/$name-win64.zip" | sed -n '4,$p' | head -n -2 | awk '{print "  " $1 "  " $4}'
echo "kelvora3d.exe imports:"
$triple-objdump -p "$tree/kelvora3d.exe" | sed -n 's/^\tDLL Name: /  /p'
