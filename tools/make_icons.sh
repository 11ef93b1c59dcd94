#!/usr/bin/env bash
# Renders the editor's icons from their SVG sources in resources/icons/ into
# data/qt/ (compiled in through resources/lumo.qrc):
#   <name>.svg -> data/qt/<name>.png, 32 x 32
#   lumo.svg   -> data/qt/icon/128.png (128 x 128) and data/qt/icon.ico
#                 (16, 24, 32, 48, 64 and 256 pixel PNG images in one icon file)
# Needs rsvg-convert (Debian: librsvg2-bin). Running it again gives the same files.
set -euo pipefail
cd "$(dirname "$0")/.."
src=resources/icons
out=data/qt
mkdir -p "$out/icon"
for svg in "$src"/*.svg; do
  name=$(basename "$svg" .svg)
  [ "$name" = lumo ] && continue
  rsvg-convert -w 32 -h 32 "$svg" -o "$out/$name.png"
done
rsvg-convert -w 128 -h 128 "$src/lumo.svg" -o "$out/icon/128.png"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for s in 16 24 32 48 64 256; do
  rsvg-convert -w $s -h $s "$src/lumo.svg" -o "$tmp/$s.png"
done
# An .ico file is a 6-byte header, one 16-byte entry per image and the images;
# modern readers take PNG-encoded images (a size of 256 is written as 0).
/usr/bin/python3 - "$tmp" "$out/icon.ico" <<'PY'
import struct, sys, os
folder, target = sys.argv[1], sys.argv[2]
sizes = [16, 24, 32, 48, 64, 256]
images = [open(os.path.join(folder, f"{s}.png"), "rb").read() for s in sizes]
data = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for s, png in zip(sizes, images):
    data += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
with open(target + ".tmp", "wb") as f:
    f.write(data + b"".join(images))
os.replace(target + ".tmp", target)
PY
echo "icons: $(ls "$src"/*.svg | wc -l) sources rendered into $out/"
