#!/usr/bin/env bash
# The installed program, checked where it is installed.
#   install_test.sh staged BUILD_DIR   installs BUILD_DIR with `cmake --install` into a scratch
#                                      root and checks it
#   install_test.sh deb BUILD_DIR      unpacks BUILD_DIR's dotwright_*.deb into a scratch root
#                                      (dpkg -x) and checks it, with the package's dependencies;
#                                      skipped (77) when no package was built there
#   install_test.sh validate TOOL ARG...   runs a validator, failing on its warnings too;
#                                      skipped (77) when it is missing
# The installed program runs with no display variables, as from a terminal without a desktop,
# and must tell the version DOTWRIGHT_VERSION.
set -euo pipefail

readonly APP_ID=org.dotwright.Dotwright
readonly SKIP=77

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=
make_scratch() {
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
}

# The width and height a PNG file's header declares, as "W H".
png_size() {
  od -An -tu1 -j16 -N8 "$1" |
    awk '{ printf "%d %d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}

# The value of KEY in the desktop entry FILE.
desktop_key() {
  sed -n "s/^$2=//p" "$1"
}

# Writes an 8 x 8 two-colour BMP to FILE: black on the diagonal and along the top row, so that
# the array tells columns from rows and top from bottom.
write_bmp() {
  local rows='' y bits
  for y in 7 6 5 4 3 2 1 0; do # stored bottom row first
    if [ $y -eq 0 ]; then bits=0; else bits=$((0xFF ^ (0x80 >> y))); fi # palette 0 is black
    rows+=$(printf '\\x%02x\\x00\\x00\\x00' $bits)
  done
  local header='BM\x5e\0\0\0\0\0\0\0\x3e\0\0\0'
  local info='\x28\0\0\0\x08\0\0\0\x08\0\0\0\x01\0\x01\0\0\0\0\0\x20\0\0\0'
  info+='\x13\x0b\0\0\x13\x0b\0\0\x02\0\0\0\0\0\0\0'
  local palette='\0\0\0\0\xff\xff\xff\0'
  printf "$header$info$palette$rows" >"$1"
}

# The installed executable runs with no display: it tells its version and converts a picture.
check_program() {
  local program=$1
  local run=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program")
  local version
  version=$("${run[@]}" --version) || fail "--version failed"
  [ "$version" = "dotwright ${DOTWRIGHT_VERSION:?the version to expect}" ] ||
    fail "--version says '$version'"
  local picture=$scratch/picture.bmp
  write_bmp "$picture"
  local array
  array=$("${run[@]}" convert "$picture") || fail "convert failed"
  # Column x holds the top row in bit 0 and the diagonal in bit x.
  grep -qF 'lcd_image_mas[8] =' <<<"$array" || fail "convert gave: $array"
  grep -qF '{ 0x01, 0x03, 0x05, 0x09, 0x11, 0x21, 0x41, 0x81};' <<<"$array" ||
    fail "convert gave: $array"
}

check_tree() {
  local usr=$1
  [ -x "$usr/bin/dotwright" ] || fail "no executable bin/dotwright"
  local entry=$usr/share/applications/$APP_ID.desktop
  [ -f "$entry" ] || fail "no menu entry $entry"
  [ "$(desktop_key "$entry" Exec)" = "dotwright %f" ] || fail "Exec is not 'dotwright %f'"
  [ "$(desktop_key "$entry" Icon)" = "$APP_ID" ] || fail "Icon is not $APP_ID"
  local metainfo=$usr/share/metainfo/$APP_ID.metainfo.xml
  [ -f "$metainfo" ] || fail "no metainfo $metainfo"
  grep -q "<launchable type=\"desktop-id\">$APP_ID.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $APP_ID.desktop"
  grep -q "<binary>dotwright</binary>" "$metainfo" || fail "the metainfo provides no dotwright"
  local icons=$usr/share/icons/hicolor
  grep -q '<svg' "$icons/scalable/apps/$APP_ID.svg" || fail "no scalable icon"
  local size
  for size in 16 24 32 48 64 128 256; do
    local png=$icons/${size}x$size/apps/$APP_ID.png
    [ -f "$png" ] || fail "no $size x $size icon"
    [ "$(png_size "$png")" = "$size $size" ] ||
      fail "the $size x $size icon is $(png_size "$png")"
  done
  local manual
  manual=$(gzip -dc "$usr/share/man/man1/dotwright.1.gz") || fail "no manual page"
  grep -q '^\.TH DOTWRIGHT 1 ' <<<"$manual" || fail "the manual page is not dotwright(1)"
  local doc=$usr/share/doc/dotwright
  grep -q '^# Dotwright' "$doc/README.md" || fail "no README in $doc"
  grep -q '^MIT License' "$doc/LICENSE" || fail "no LICENSE in $doc"
  check_program "$usr/bin/dotwright"
  # Nothing is installed outside the prefix's usual folders.
  local stray
  stray=$(cd "$usr" && find . -mindepth 1 -maxdepth 1 ! -name bin ! -name share)
  [ -z "$stray" ] || fail "unexpected files: $stray"
}

case "${1:-}" in
  staged)
    build=$2
    make_scratch
    env -u DESTDIR cmake --install "$build" --prefix "$scratch/usr" >/dev/null
    check_tree "$scratch/usr"
    ;;
  deb)
    build=$2
    shopt -s nullglob
    packages=("$build"/dotwright_*.deb)
    if [ ${#packages[@]} -eq 0 ]; then
      echo "No package in $build (./dev package builds one)."
      exit $SKIP
    fi
    [ ${#packages[@]} -eq 1 ] || fail "more than one package: ${packages[*]}"
    deb=${packages[0]}
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    # dpkg-shlibdeps found the libraries the executable links.
    names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
    for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 \
      libfontconfig1; do
      grep -qxF "$library" <<<"$names" || fail "Depends lacks $library"
    done
    [ "$(dpkg-deb -f "$deb" Package)" = dotwright ] || fail "the package is not named dotwright"
    make_scratch
    dpkg -x "$deb" "$scratch"
    check_tree "$scratch/usr"
    ;;
  validate)
    tool=$2
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is not installed."
      exit $SKIP
    fi
    # desktop-file-validate reports warnings (deprecated keys) without failing; they fail here.
    output=$("${@:2}" 2>&1) || { echo "$output"; fail "$tool found errors"; }
    echo "$output"
    if grep -Eq ': (warning|error):' <<<"$output"; then fail "$tool warned"; fi
    ;;
  *)
    sed -n '2,/^set /p' "$0" | grep '^#' | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
