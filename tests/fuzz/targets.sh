# The libFuzzer targets, their dictionaries and seed corpora; sourced by tests/fuzz/fuzz_test.sh
# (the short run) and scripts/fuzz.sh (the long runs).
#   fuzz_targets                 the target names, one a line
#   fuzz_dict TARGET             the dictionary file for the target
#   fuzz_seed TARGET DIR [BUILD] copies the target's seeds into DIR (files already there are
#                                kept): tests/fuzz/corpus/<name>/, then the project's own
#                                documents and pictures in the target's input format (the
#                                generated string table of BUILD when given)

fuzz_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fuzz_targets() {
  printf '%s\n' manifest_fuzz journal_fuzz string_table_fuzz zip_archive_fuzz picture_fuzz markup_fuzz
}

fuzz_dict() {
  local name=${1%_fuzz}
  case "$name" in
    manifest|string_table) echo "$fuzz_root/tests/fuzz/xml.dict" ;;
    *) echo "$fuzz_root/tests/fuzz/$name.dict" ;;
  esac
}

# A markup input: the document, then each further entry after "\n@entry NAME\n".
fuzz_markup_seed() {
  local skin=$fuzz_root/src/resources/skin doc=$1; shift
  cat "$skin/$doc"
  for entry in "$@"; do
    printf '\n@entry %s\n' "$entry"
    cat "$skin/$entry"
  done
}

fuzz_seed() {
  local target=$1 dir=$2 build=${3:-} name=${1%_fuzz}
  local skin=$fuzz_root/src/resources/skin
  mkdir -p "$dir"
  cp -n "$fuzz_root/tests/fuzz/corpus/$name"/* "$dir/"
  case "$name" in
    string_table)
      if [ -n "$build" ] && [ -f "$build/src/generated/strings_zh_CN.xml" ]; then
        cp -n "$build/src/generated/strings_zh_CN.xml" "$dir/shipped.xml"
      else
        cp -n "$fuzz_root/src/resources/strings_zh_CN.xml.in" "$dir/shipped.xml"
      fi
      ;;
    picture)
      # The package's small pictures (the backgrounds and the shadow take too long to decode).
      for p in Head_btnsys_20x20.png messagebox_icon_22x22.png progress_fore.png \
               icon_title_20x20.png; do
        cp -n "$skin/$p" "$dir/shipped_$p"
      done
      ;;
    markup)
      [ -e "$dir/shipped_main" ] || fuzz_markup_seed wnd_main.xml font.xml \
        Head_btnsys_20x20.png progress_fore.png icon_title_20x20.png >"$dir/shipped_main"
      [ -e "$dir/shipped_box" ] || fuzz_markup_seed messagebox.xml font.xml \
        Head_btnsys_20x20.png messagebox_icon_22x22.png >"$dir/shipped_box"
      [ -e "$dir/shipped_link_box" ] || fuzz_markup_seed messageboxwithlink.xml font.xml \
        Head_btnsys_20x20.png messagebox_icon_22x22.png >"$dir/shipped_link_box"
      ;;
  esac
}
