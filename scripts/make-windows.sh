#!/bin/sh
# `make windows`: the Windows program cross-built with MinGW-w64 and packed
# for players as build/windows/Kelvora3D-<version>-win64.zip: kelvora3d.exe
# (no DLL beside it), data/, README.txt and the licences of everything in it.
#   make-windows.sh [BUILD_DIR]    the program's build folder (build/windows/build)
set -e
cd "$(dirname "$0")/.."
OUT=build/windows
B=${1:-$OUT/build}
JOBS=${JOBS:-2}
triple=x86_64-w64-mingw32

./scripts/install-deps.sh windows
deps=$(nice -n 10 ./scripts/build-windows-deps.sh | tail -n 1)
# Against another set of libraries (a new recipe), configured afresh: the
# cache would keep the old set's paths.
fresh=--fresh
grep -qsx "KV_WINDOWS_DEPS:[A-Z]*=$deps" "$B/CMakeCache.txt" && fresh=""
cmake $fresh -S . -B "$B" -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64.cmake" -DKV_WINDOWS_DEPS="$deps" \
  -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=OFF >/dev/null
nice -n 10 cmake --build "$B" -j"$JOBS" --target kelvora3d

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$B/CMakeCache.txt")
name=Kelvora3D-$version
tree=$OUT/$name
rm -rf "$tree" "$OUT/$name-win64.zip"
mkdir -p "$tree/data" "$tree/licences"
$triple-strip -o "$tree/kelvora3d.exe" "$B/kelvora3d.exe"
cp data/*.ogg "$tree/data/"
sed "s/@VERSION@/$version/" app/win/README.txt.in | sed 's/$/\r/' >"$tree/README.txt"
cp "$deps"/licences/*.txt "$tree/licences/"
cp dist/copyright "$tree/licences/Kelvora3D.txt"
cp /usr/share/doc/fonts-play/copyright "$tree/licences/Play-font.txt"
for f in "$tree"/licences/*.txt; do sed -i 's/\r*$/\r/' "$f"; done
(cd "$OUT" && rm -f "$name-win64.zip" && zip -qr9 "$name-win64.zip" "$name")

echo "$OUT/$name-win64.zip: $(stat -c %s "$OUT/$name-win64.zip") bytes"
unzip -l "$OUT/$name-win64.zip" | sed -n '4,$p' | head -n -2 | awk '{print "  " $1 "  " $4}'
echo "kelvora3d.exe imports:"
$triple-objdump -p "$tree/kelvora3d.exe" | sed -n 's/^\tDLL Name: /  /p'
