#!/bin/sh
# Unpacks Debian source packages kept in third_party/debian-sources into DEST,
# one folder each as dpkg-source names it (libpng1.6-1.6.39 ...), with
# Debian's patches applied. The folder's SHA256SUMS is checked first and must
# list each .dsc; dpkg-source then checks the .dsc's hashes of its tarballs.
# Needs no network.
#   unpack-dep-sources.sh DEST PACKAGE=VERSION...
set -eu
SOURCES=$(cd "$(dirname "$0")/.." && pwd)/third_party/debian-sources
[ $# -ge 2 ] || { echo "usage: $0 DEST PACKAGE=VERSION..." >&2; exit 2; }
dest=$1
shift
(cd "$SOURCES" && sha256sum --check --strict --quiet SHA256SUMS) ||
  { echo "unpack-dep-sources: $SOURCES does not match its SHA256SUMS" >&2; exit 1; }
mkdir -p "$dest"
for pin in "$@"; do
  version=${pin#*=}
  # File names leave out the epoch (1:1.2.13.dfsg-1).
  dsc=${pin%%=*}_${version#*:}.dsc
  awk -v f="$dsc" '$2 == f { found = 1 } END { exit !found }' "$SOURCES/SHA256SUMS" || {
    echo "unpack-dep-sources: $dsc is not in $SOURCES (scripts/refresh-dep-sources.sh $pin adds it)" >&2
    exit 1
  }
  (cd "$dest" && dpkg-source --require-strong-checksums -x "$SOURCES/$dsc") ||
    { echo "unpack-dep-sources: dpkg-source could not unpack $dsc" >&2; exit 1; }
done
