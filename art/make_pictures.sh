#!/usr/bin/env bash
# Makes the forum block's pictures in site/, and the Windows program's icon and the page's from
# the drawings in art/ and packaging/windows/. Needs rsvg-convert (Debian: librsvg2-bin), icotool
# (icoutils), and the DejaVu Sans Bold font (fonts-dejavu-core), in which the heading's letters
# are set.
set -euo pipefail
cd "$(dirname "$0")/.."

# rsvg-convert would quietly set the heading in another font.
font=$(fc-match -f '%{family[0]} %{style[0]}' 'DejaVu Sans:bold')
if [[ $font != "DejaVu Sans Bold" ]]; then
  echo "the heading needs the DejaVu Sans Bold font (fonts-dejavu-core); fc-match gives $font" >&2
  exit 1
fi

# Forums load a post's pictures from the host one by one: each stays small.
picture() {
  mkdir -p "$(dirname "$2")"
  rsvg-convert "$1" -o "$2"
  if (($(stat -c %s "$2") >= 20 * 1024)); then
    echo "$2 is 20 KiB or more" >&2
    exit 1
  fi
}
while read -r drawing path; do
  [[ -z $drawing || $drawing == "#"* ]] || picture "art/$drawing" "site$path"
done <art/pictures.txt

# The icon holds every size that Windows shows; the largest is kept as PNG, as Windows expects.
icon=packaging/windows/ulvenaReader
sizes=$(mktemp -d)
trap 'rm -rf "$sizes"' EXIT
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$icon.svg" -o "$sizes/$size.png"
done
icotool -c -o "$icon.ico" "$sizes"/{16,24,32,48,64,128}.png --raw="$sizes/256.png"

# The page's icon is the program's: the drawing itself (copied by the build), a small .ico for
# browsers that ask for /favicon.ico, and the picture a phone puts on its home screen.
icotool -c -o site/favicon.ico --raw="$sizes/16.png" --raw="$sizes/32.png" --raw="$sizes/48.png"
rsvg-convert -w 180 -h 180 "$icon.svg" -o site/icone-180.png
