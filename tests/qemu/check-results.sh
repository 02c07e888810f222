#!/usr/bin/env bash
# Asserts the results the QEMU guest wrote (run-guest.sh, DIR/out/results.txt).
#
#   check-results.sh DIR --group NAME        every check of the group passed (and there is one)
#   check-results.sh DIR --summary [--compare-sim BIN DRIVES [--sata]] [--bench-beside DIR2] G1 G2 ...
#       the guest ran to the end, nothing failed, and every group it reported
#       is one of G1 G2 ...; with --compare-sim it also runs BIN --sim (the
#       same checks against our simulated drive, on this machine; --sata:
#       those of the q35 run) and lists the observations in which QEMU's
#       drive and the simulated one differ.  The measurements (BENCH) of the
#       run are printed, and with --bench-beside those of the run in DIR2 too.
#
# Exit status 0 on success, 1 on failure, 77 when run-guest.sh skipped the suite.
set -euo pipefail

work="$1"
mode="$2"
shift 2
results="$work/out/results.txt"

if [[ -f "$work/skipped" ]]; then
  cat "$work/skipped"
  exit 77
fi
if [[ ! -f "$results" ]]; then
  echo "no results in $results: qemu_boot did not complete"
  exit 1
fi

case "$mode" in
  --group)
    group="$1"
    awk -F'\t' -v g="$group" '
      $2 != g { next }
      $1 == "NOTE" { print "  note  " $3 ": " $4 }
      $1 == "BENCH" { print "  bench " $3 ": " $4 }
      $1 == "FAIL" { print "  FAIL  " $3 ": " $4 }
      $1 == "CHECK" { print $4 "  " g "." $3 "  (" substr($5, 4) " ms)"; ++checks; if ($4 != "PASS") ++failed }
      END {
        if (checks == 0) { print "no checks of group " g " ran"; exit 1 }
        printf "%d checks, %d failed\n", checks, failed
        exit failed != 0
      }' "$results"
    ;;
  --summary)
    sim_bin="" sim_drives="" sim_extra=() beside=""
    if [[ "${1:-}" == --compare-sim ]]; then
      sim_bin="$2" sim_drives="$3"
      shift 3
      if [[ "${1:-}" == --sata ]]; then
        sim_extra=(--sata)
        shift
      fi
    fi
    if [[ "${1:-}" == --bench-beside ]]; then
      beside="$2"
      shift 2
    fi
    listed=" $* "
    cat "$work/timings.txt" 2>/dev/null || true
    awk -F'\t' -v listed="$listed" '
      $1 == "START" { started = 1 }
      $1 == "CHECK" {
        ++checks; if ($4 != "PASS") { ++failed; print "FAIL  " $2 "." $3 }
        if (index(listed, " " $2 " ") == 0 && !(($2) in unlisted)) {
          unlisted[$2] = 1; print "group " $2 " is not registered with ctest (tests/qemu/CMakeLists.txt)"; ++bad
        }
      }
      $1 == "END" { ended = 1; print }
      END {
        if (!started || !ended) { print "the guest did not run the checks to the end"; exit 1 }
        printf "%d checks, %d failed\n", checks, failed
        exit (failed != 0 || bad != 0 || checks == 0)
      }' "$results" || status=$?
    if [[ -n "$sim_bin" ]]; then
      notes() { awk -F'\t' '$1 == "NOTE" { print $2 "." $3 ": " $4 }' "$1"; }
      "$sim_bin" --sim "${sim_extra[@]}" --drives "$sim_drives" --out "$work/sim-results.txt" >/dev/null || true
      echo "---- observations that differ: < simulated drive, > QEMU ----"
      differences="$(diff <(notes "$work/sim-results.txt") <(notes "$results") || true)"
      grep '^[<>]' <<<"$differences" || echo "(none)"
    fi
    echo "---- measurements ----"
    for r in "$results" ${beside:+"$beside/out/results.txt"}; do
      [[ -f "$r" ]] && awk -F'\t' '$1 == "BENCH" { print $4 }' "$r"
    done
    exit "${status:-0}"
    ;;
  *)
    echo "usage: check-results.sh DIR (--group NAME | --summary GROUPS...)" >&2
    exit 2
    ;;
esac
