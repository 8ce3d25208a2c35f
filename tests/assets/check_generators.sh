#!/bin/sh
# Regenerates every image and sound into a scratch folder and compares them
# with the committed files. Exit 77 (skipped) when the tools are missing.
set -e
root=${1:?repository root}
py=/usr/bin/python3
if ! $py -c "import PIL, numpy" 2>/dev/null || ! command -v oggenc >/dev/null ||
   [ ! -f /usr/share/fonts/truetype/play/Play-Bold.ttf ]; then
  echo "generator tools missing: skipped"; exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
nice $py "$root/tools/gen_images/gen_images.py" "$work/graphx" >/dev/null
nice $py "$root/tools/gen_sounds/gen_sounds.py" "$work/data" >/dev/null
nice $py "$root/tools/gen_images/icons.py" "$work/graphx" "$work/icons" >/dev/null
status=0
for f in "$root"/assets/graphx/*.png; do
  cmp -s "$f" "$work/graphx/$(basename "$f")" || { echo "differs: assets/graphx/$(basename "$f")"; status=1; }
done
for f in "$root"/data/*.ogg; do
  cmp -s "$f" "$work/data/$(basename "$f")" || { echo "differs: data/$(basename "$f")"; status=1; }
done
for f in "$root"/assets/icons/*.png; do
  cmp -s "$f" "$work/icons/$(basename "$f")" || { echo "differs: assets/icons/$(basename "$f")"; status=1; }
done
n=$(ls "$work/graphx" "$work/data" | grep -c '\.\(png\|ogg\)$')
[ "$n" -eq 15 ] || { echo "expected 15 generated files, got $n"; status=1; }
[ $status -eq 0 ] && echo "all 15 generated files match the committed ones"
exit $status
