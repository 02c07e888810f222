#!/usr/bin/env bash
# Shared set-up of the run and test commands: installs what is missing
# (apt-get when run as root; otherwise it says what to install), then
# configures and builds the project in build/.  Safe to run again: nothing is
# installed twice and the build is incremental.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORAN_BUILD_DIR:-$root/build}"

packages=(
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-charts-dev
  libjpeg62-turbo-dev
  libgtest-dev libgmock-dev
  fonts-dejavu-core
  util-linux
  # The hardware-path suite boots these in a QEMU guest.
  qemu-system-x86 linux-image-amd64 busybox-static cpio
)

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
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

# ccache: share objects between build directories of this checkout.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true

jobs="$(nproc 2>/dev/null || echo 2)"
if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$jobs"
