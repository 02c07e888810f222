#!/usr/bin/env bash
# Screenshots of the program as a technician sees it, on a desktop of its
# own (Xvfb + openbox, see run-desktop.sh): the port selection dialog, the
# main window, and a finished surface scan (its graph and its map).  The
# program is driven with the keyboard through xdotool; the pictures are
# taken with ImageMagick's import, window frames included.
#
#   tests/desktop/screenshots.sh [OUTDIR]      (default: build/shots)
#
# Needs the built program (scripts/setup.sh) and ImageMagick
# (scripts/setup.sh --extras shots).  Runs the built-in simulated machine;
# the scan covers the first 3,200,000 sectors of the drive at 0170 master,
# which hold every time class and several error classes (about 20 s).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$(realpath -m "${1:-$root/build/shots}")"
voran="${VORAN_BINARY:-$root/build/bin/voran}"

if [[ -z ${VORAN_ON_DESKTOP:-} ]]; then
  command -v import >/dev/null || { echo "screenshots: ImageMagick is missing (scripts/setup.sh --extras shots)" >&2; exit 1; }
  [[ -x $voran ]] || { echo "screenshots: $voran is not built (scripts/setup.sh)" >&2; exit 1; }
  VORAN_ON_DESKTOP=1 exec "$here/run-desktop.sh" "$0" "$out"
fi

mkdir -p "$out"
# The program directory of a copy, so that Voran.ini and Log/ of the build
# stay as they are.
prog="$(mktemp -d "${TMPDIR:-/tmp}/voran-shots.XXXXXX")"
cp "$voran" "$prog/voran"
cp -r "$(dirname "$voran")/Help" "$prog/Help" 2>/dev/null || true
pid=""
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$prog"
}
trap cleanup EXIT

# The one window whose title is exactly $1, once it is on the screen.
window() {
  local id deadline=$((SECONDS + ${2:-30}))
  until id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)" && [[ -n $id ]]; do
    ((SECONDS < deadline)) || { echo "screenshots: no window \"$1\"" >&2; exit 1; }
    sleep 0.1
  done
  echo "$id"
}
shoot() {
  # Let the window manager finish framing and placing it first.
  sleep 0.5
  import -window "$1" -frame "$out/$2"
  echo "$out/$2"
}
keys() {
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  shift
  xdotool key --clearmodifiers "$@"
}

"$prog/voran" >"$prog/voran.log" 2>&1 &
pid=$!

select="$(window '^Выберите порт$')"
shoot "$select" select.png
keys "$select" Return

main="$(window '^Voran  .*СИМУЛЯТОР')"
shoot "$main" main.png

keys "$main" F4
scan="$(window '^Проверка поверхности$')"
keys "$scan" space  # "Config" has the focus
range="$(window '^Параметры проверки$')"
keys "$range" Tab ctrl+a 3 2 0 0 0 0 0 Return
window 'Выполнено$' 120 >/dev/null
shoot "$scan" scan.png
# The map tab: the first tab, at the bottom left above the status bar.
eval "$(xdotool getwindowgeometry --shell "$scan")"
xdotool mousemove --window "$scan" 30 $((HEIGHT - 38)) click 1
shoot "$scan" scan-map.png
