#!/usr/bin/env bash
# Renders the skin pictures from their SVG sources in svg/.
#
#   render.sh                   the pictures themselves, into the PNGs beside this script. They
#                               are committed: run this after editing an SVG and commit both.
#   render.sh --variants DIR    the larger renderings drawn on displays above 100 %: NAME@1.5x.png
#                               and NAME@2x.png of each picture in `variants` below, into DIR.
#                               The build runs this (they are not committed).
#   render.sh --list-variants   the names --variants writes, one a line (the build's outputs).
#
# Needs rsvg-convert (Debian package librsvg2-bin; scripts/setup.sh installs it); checks every
# size with ImageMagick's identify when it is there.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

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

# The pictures drawn at their own pixel size, which look soft when enlarged: each gets its
# renderings at 150 % and 200 % (sizes rounded to whole pixels). The two large illustrations
# are already twice the size they are drawn at.
variants=(Head_btnsys_20x20 messagebox_icon_22x22 progress_fore Window_shadow icon_title_20x20)
scales=("1.5x 3" "2x 4")  # suffix, size in halves

# render NAME WIDTH HEIGHT OUT
render() {
  local name=$1 width=$2 height=$3 out=$4
  command -v rsvg-convert >/dev/null ||
    { echo "render.sh: rsvg-convert missing (apt-get install librsvg2-bin)" >&2; exit 1; }
  rsvg-convert --width "$width" --height "$height" --format png \
    --output "$out.tmp" "$here/svg/$name.svg"
  mv "$out.tmp" "$out"
  if command -v identify >/dev/null; then
    got=$(identify -format '%wx%h' "$out")
    if [[ "$got" != "${width}x${height}" ]]; then
      echo "render.sh: $out is $got, expected ${width}x${height}" >&2
      exit 1
    fi
  fi
}

size_of() { # size_of NAME -> "WIDTH HEIGHT"
  local entry
  for entry in "${pictures[@]}"; do
    read -r n w h <<<"$entry"
    if [ "$n" = "$1" ]; then echo "$w $h"; return; fi
  done
  echo "render.sh: no picture $1" >&2
  exit 1
}

case "${1:-}" in
  --list-variants | --variants)
    out_dir=${2:-}
    [ "$1" = --list-variants ] || [ -n "$out_dir" ] || { echo "usage: $0 --variants DIR" >&2; exit 2; }
    [ -z "$out_dir" ] || mkdir -p "$out_dir"
    for name in "${variants[@]}"; do
      read -r width height <<<"$(size_of "$name")"
      for scale in "${scales[@]}"; do
        read -r suffix halves <<<"$scale"
        if [ "$1" = --list-variants ]; then
          echo "$name@$suffix.png"
        else
          render "$name" $(( (width * halves + 1) / 2 )) $(( (height * halves + 1) / 2 )) \
            "$out_dir/$name@$suffix.png"
        fi
      done
    done
    exit 0
    ;;
  "") ;;
  *) echo "usage: $0 [--variants DIR | --list-variants]" >&2; exit 2 ;;
esac

for entry in "${pictures[@]}"; do
  read -r name width height <<<"$entry"
  out="$here/$name.png"
  render "$name" "$width" "$height" "$out"
  echo "rendered $name.png (${width}x${height}, $(stat -c %s "$out") bytes)"
done
