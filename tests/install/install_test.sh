#!/usr/bin/env bash
# The installed program, checked where it is installed.
#   install_test.sh staged BUILD_DIR   installs BUILD_DIR with `cmake --install` into a scratch
#                                      root and checks it
#   install_test.sh deb BUILD_DIR      unpacks BUILD_DIR's dotwright_*.deb into a scratch root
#                                      (dpkg -x) and checks it, with the package's dependencies;
#                                      skipped (77) when no package was built there
#   install_test.sh validate TOOL ARG...   runs a validator, failing on its warnings too;
#                                      skipped (77) when it is missing
# The program runs with no display variables, as from a terminal without a desktop.
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
  local doc=$usr/share/doc/dotwright
  grep -q '^# Dotwright' "$doc/README.md" || fail "no README in $doc"
  grep -q '^MIT License' "$doc/LICENSE" || fail "no LICENSE in $doc"
  # Nothing is installed outside the prefix's usual folders.
  local stray
  stray=$(cd "$usr" && find . -mindepth 1 -maxdepth 1 ! -name bin ! -name share)
  [ -z "$stray" ] || fail "unexpected files: $stray"
}

case "${1:-}" in
  staged)
    build=$2
    make_scratch
    cmake --install "$build" --prefix "$scratch/usr" >/dev/null
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
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
