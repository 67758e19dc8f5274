#!/usr/bin/env bash
# Renders the skin pictures from their SVG sources in svg/ into the PNGs beside this script.
# The PNGs are committed, so the build never renders: run this after editing an SVG and
# commit both. Needs rsvg-convert (Debian package librsvg2-bin); checks every size with
# ImageMagick's identify when it is there.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
command -v rsvg-convert >/dev/null || { echo "render.sh: rsvg-convert missing (apt-get install librsvg2-bin)" >&2; exit 1; }

# picture name, width, height: the sizes the skin documents and the code rely on
pictures=(
  "install_img_02@2x 1160 580"
  "install_img_03@2x 1160 580"
  "Head_btnsys_20x20 60 80"
  "messagebox_icon_22x22 22 88"
  "progress_fore 200 5"
  "Window_shadow 624 424"
  "icon_title_20x20 20 20"
)

for entry in "${pictures[@]}"; do
  read -r name width height <<<"$entry"
  out="$here/$name.png"
  rsvg-convert --width "$width" --height "$height" --format png \
    --output "$out.tmp" "$here/svg/$name.svg"
  mv "$out.tmp" "$out"
  if command -v identify >/dev/null; then
    got=$(identify -format '%wx%h' "$out")
    if [[ "$got" != "${width}x${height}" ]]; then
      echo "render.sh: $name.png is $got, expected ${width}x${height}" >&2
      exit 1
    fi
  fi
  echo "rendered $name.png (${width}x${height}, $(stat -c %s "$out") bytes)"
done
