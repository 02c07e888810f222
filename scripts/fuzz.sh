#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, with Debian's clang-14) and runs each
# for a bounded time: the machine file reader, the .state reader and the INI
# reader.
#
#   scripts/fuzz.sh [SECONDS]     each target SECONDS long (default 60)
#
# Needs `scripts/setup.sh --extras fuzz`.  The build and the growing corpus
# live in build-fuzz/ (VORAN_FUZZ_BUILD_DIR); an input that finds a fault is
# written to build-fuzz/findings/: copy it into fuzz/regression/<target>/ once
# the fault is fixed, so that the test suite keeps feeding it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORAN_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-60}"
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: SECONDS must be a number" >&2; exit 2; }

if ! command -v clang++-14 >/dev/null || [[ -z "$(find /usr/lib/llvm-14 -name 'libclang_rt.fuzzer-x86_64.a' 2>/dev/null)" ]]; then
  echo "fuzz.sh: clang-14 and libclang-rt-14-dev are needed: scripts/setup.sh --extras fuzz" >&2
  exit 1
fi

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

status=0
for target in machine state ini; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus" "$build/findings"
  echo "== fuzz_$target: $seconds s"
  # New inputs go to the build's corpus; the seeds and the regression
  # inputs of the checkout are read only.
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=4096 \
      -dict="$root/fuzz/$target.dict" -artifact_prefix="$build/findings/$target-" \
      "$corpus" "$root/fuzz/seeds/$target" "$root/fuzz/regression/$target" 2>"$build/fuzz_$target.log"; then
    echo "fuzz_$target: FOUND A FAULT, see $build/findings/ and $build/fuzz_$target.log" >&2
    status=1
  fi
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz_$target.log" || true
done
exit "$status"
