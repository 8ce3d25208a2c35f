#!/bin/sh
# Installs the Debian packages the build, the game and the tests need.
# Only missing packages are installed; sudo is used when not running as root.
set -e
PACKAGES="build-essential cmake pkg-config clang libclang-rt-14-dev \
  libsdl2-dev libgl1-mesa-dev libgl1-mesa-dri libpng-dev zlib1g-dev libfreetype-dev \
  libogg-dev libvorbis-dev libgtest-dev libgmock-dev googletest libbenchmark-dev \
  xvfb xauth xdotool x11-utils imagemagick vorbis-tools sox \
  python3 python3-pil python3-numpy \
  fonts-comfortaa fonts-play fonts-dejavu-core fonts-terminus-otb sound-theme-freedesktop"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
$SUDO apt-get install -y -qq --no-install-recommends $missing
