#!/usr/bin/env bash
# Installs what is missing, builds, and starts Voran.  Without options it runs
# on the built-in simulated machine; arguments are passed to the program
# (for example --sim FILE, or --hardware on a machine with real IDE ports).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
exec "${VORAN_BUILD_DIR:-$root/build}/bin/voran" "$@"
