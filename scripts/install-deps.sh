#!/bin/sh
# Installs the Debian packages a task needs; only missing ones are installed,
# with sudo when not running as root.
#   build    what builds and runs the game (`make run`, `make install`)
#   package  build, plus what `make package` runs (dpkg-shlibdeps)
#   windows  the MinGW-w64 cross toolchain and what builds the Windows archive (`make windows`)
#   web      the browser build (`make web`) and its browser tests
#   docs     the engine's API reference (`make docs`)
#   server   what builds the score server (`make server`)
#   all      everything, with the test and benchmark tools, the Windows build
#            with Wine and the browser build (`make test`, `make bench`)
set -e
BUILD="build-essential cmake pkg-config \
  libsdl2-dev libx11-dev libgl1-mesa-dev libgl1-mesa-dri libpng-dev zlib1g-dev libfreetype-dev \
  libogg-dev libvorbis-dev libcurl4-openssl-dev fonts-play"
SERVER="build-essential cmake pkg-config libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev libpq-dev \
  libseccomp-dev"
PACKAGE="dpkg-dev file"
TESTS="clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest libbenchmark-dev \
  xvfb xauth xdotool x11-utils imagemagick vorbis-tools sox \
  python3 python3-pil python3-numpy libebur128-dev \
  fonts-comfortaa fonts-dejavu-core fonts-terminus-otb sound-theme-freedesktop \
  desktop-file-utils appstream man-db util-linux lintian \
  sway grim libwayland-dev libwayland-bin libxkbcommon-dev \
  postgresql sqlite3"
WINDOWS="cmake ninja-build dpkg-dev zip g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 mingw-w64-common libgles-dev libgl-dev fonts-play wine wine64"
WEB="emscripten gcc dpkg-dev cmake ninja-build chromium python3"
DOCS="doxygen"

case "${1:-all}" in
  build) PACKAGES="$BUILD" ;;
  package) PACKAGES="$BUILD $PACKAGE" ;;
  all) PACKAGES="$BUILD $PACKAGE $SERVER $TESTS $WINDOWS $WEB $DOCS" ;;
  windows) PACKAGES="$WINDOWS" ;;
  web) PACKAGES="$WEB" ;;
  docs) PACKAGES="$DOCS" ;;
  server) PACKAGES="$BUILD $SERVER" ;;
  *) echo "usage: $0 [build|package|all|windows|web|docs|server]" >&2; exit 2 ;;
esac

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq -o DPkg::Lock::Timeout=900 --no-install-recommends $missing
