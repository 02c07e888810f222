#!/usr/bin/env bash
# Shared set-up of the run and test commands: installs what is missing
# (apt-get when run as root; otherwise it says what to install), then
# configures and builds the project in build/.  Safe to run again: nothing is
# installed twice and the build is incremental.
#
#   scripts/setup.sh                 packages for building, running and testing; build
#   scripts/setup.sh --extras fuzz   also clang's libFuzzer (scripts/fuzz.sh)
#   scripts/setup.sh --extras shots  also ImageMagick (screenshots of the windows, README)
#   scripts/setup.sh --no-build      install only
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORAN_BUILD_DIR:-$root/build}"

extras=() do_build=1
while (($#)); do
  case "$1" in
    --extras) IFS=, read -r -a more <<<"$2"; extras+=("${more[@]}"); shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) echo "setup.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

packages=(
  # Build.
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-charts-dev
  # Qt6ChartsConfig.cmake requires Qt6OpenGL's CMake files, which
  # qt6-charts-dev does not pull in without recommends.
  libqt6opengl6-dev
  libjpeg62-turbo-dev
  libgtest-dev libgmock-dev
  # Run: Qt's own Russian texts for the standard dialogs and buttons, a
  # fixed-pitch font for the reports.
  qt6-translations-l10n
  fonts-dejavu-core
  # Tests of the windows under a real X server with a window manager: the
  # server, the manager, and the tools that read titles and frames back.
  xvfb openbox x11-utils xdotool
  # The hardware-path suite boots Debian's kernel in a QEMU guest; the guest
  # chroots into this machine's root, so it needs nothing else.
  qemu-system-x86 linux-image-amd64 busybox-static cpio
)
for e in "${extras[@]}"; do
  case "$e" in
    fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    shots) packages+=(imagemagick) ;;
    *) echo "setup.sh: unknown extra '$e' (fuzz, shots)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    echo "voran setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "voran setup: these Debian packages are missing:" >&2
    echo "  ${missing[*]}" >&2
    echo "install them as root, for example:" >&2
    echo "  sudo apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
fi

((do_build)) || exit 0

# ccache: share objects between build directories of this checkout.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true

jobs="$(nproc 2>/dev/null || echo 2)"
if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$jobs"
