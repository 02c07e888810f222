#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (including
# the QEMU hardware-path suite, which reports itself skipped when QEMU or its
# kernel are not installed).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
cd "${VORAN_BUILD_DIR:-$root/build}"
exec ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@"
