#!/usr/bin/env bash
# Runs one program on a desktop of its own: a fresh Xvfb server (on a free
# display the server picks itself, so parallel runs never meet) with the
# openbox window manager, Qt on xcb.  Both are stopped afterwards.
#
#   run-desktop.sh PROGRAM [ARGS...]
#
# Exit status: the program's; 77 (ctest's "skipped") with the reason when
# Xvfb or openbox is not installed; 1 when the desktop does not come up.
# Listing a GoogleTest program's tests needs no desktop and gets none.
set -u

for a in "$@"; do
  if [[ $a == --gtest_list_tests ]]; then
    QT_QPA_PLATFORM=offscreen exec "$@"
  fi
done

for tool in Xvfb openbox xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run-desktop: skipped: $tool is not installed (scripts/setup.sh installs it)" >&2
    exit 77
  fi
done

tmp="$(mktemp -d "${TMPDIR:-/tmp}/voran-desktop.XXXXXX")"
xvfb_pid="" wm_pid=""
cleanup() {
  [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb writes its display number to the pipe once it accepts clients.
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 "${VORAN_DESKTOP_SCREEN:-1280x1024x24}" -nolisten tcp -noreset \
  3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r -t 30 display <"$tmp/display"
if [[ -z $display ]]; then
  echo "run-desktop: Xvfb did not start:" >&2
  cat "$tmp/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"
unset XAUTHORITY WAYLAND_DISPLAY

# openbox with its stock configuration, away from the user's own.
mkdir -p "$tmp/home"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
wm_pid=$!
# The manager is up once it names its check window on the root window.
deadline=$((SECONDS + 30))
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
  if ((SECONDS >= deadline)) || ! kill -0 "$wm_pid" 2>/dev/null; then
    echo "run-desktop: openbox did not start:" >&2
    cat "$tmp/openbox.log" >&2
    exit 1
  fi
  sleep 0.05
done

export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR
"$@"
status=$?
exit "$status"
