#!/bin/sh
# Downloads Debian source packages into third_party/debian-sources, where the
# Windows and browser builds take their libraries' sources from, while the
# archive still serves them: each replaces its package's older version there,
# and SHA256SUMS is rewritten. Raise the pins in scripts/build-windows-deps.sh
# and scripts/web-deps.sh to match.
#   refresh-dep-sources.sh PACKAGE=VERSION...   (e.g. libpng1.6=1.6.39-2+deb12u6)
# apt-get source needs a deb-src entry in apt's sources for the release.
set -eu
DIR=$(cd "$(dirname "$0")/.." && pwd)/third_party/debian-sources
[ $# -ge 1 ] || { echo "usage: $0 PACKAGE=VERSION..." >&2; exit 2; }

# What is kept must still be what was committed: it is hashed again below.
(cd "$DIR" && sha256sum --check --strict --quiet SHA256SUMS) ||
  { echo "refresh-dep-sources: $DIR does not match its SHA256SUMS" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# apt downloads as its own user, which must be able to write here.
mkdir "$tmp/new" && chmod 755 "$tmp" && chmod 777 "$tmp/new"
for pin in "$@"; do
  (cd "$tmp/new" && apt-get source --download-only -qq "$pin") || {
    echo "refresh-dep-sources: apt-get source $pin failed; apt needs a deb-src entry (a copy of" >&2
    echo "  /etc/apt/sources.list.d/debian.sources with Types: deb-src, then apt-get update)" >&2
    exit 1
  }
done
# They must unpack as the builds unpack them.
(cd "$tmp/new" && for dsc in *.dsc; do dpkg-source --require-strong-checksums -x "$dsc" "$tmp/x-$dsc"; done) \
  >"$tmp/log" 2>&1 || { cat "$tmp/log" >&2; echo "refresh-dep-sources: dpkg-source failed" >&2; exit 1; }

files_of() {  # the files a .dsc names
  sed -n '/^Checksums-Sha256:/,/^[^ ]/s/^ [0-9a-f]\{64\} [0-9]\{1,\} //p' "$1"
}
for dsc in "$tmp"/new/*.dsc; do
  name=$(basename "$dsc"); name=${name%%_*}
  for old in "$DIR/${name}"_*.dsc; do
    [ -f "$old" ] || continue
    [ "$(basename "$old")" = "$(basename "$dsc")" ] && continue
    for f in $(files_of "$old"); do
      files_of "$dsc" | grep -qxF "$f" || rm -f "$DIR/$f"
    done
    rm -f "$old"
  done
  cp "$dsc" "$DIR/"
  for f in $(files_of "$dsc"); do cp "$tmp/new/$f" "$DIR/"; done
done
(cd "$DIR" && find . -maxdepth 1 -type f ! -name SHA256SUMS ! -name README.md -printf '%f\n' |
  LC_ALL=C sort | xargs sha256sum) >"$tmp/sums"
cp "$tmp/sums" "$DIR/SHA256SUMS"
echo "refresh-dep-sources: $DIR now holds:" && sed -n 's/\.dsc$//p' "$DIR/SHA256SUMS" | awk '{ print "  " $2 }'
