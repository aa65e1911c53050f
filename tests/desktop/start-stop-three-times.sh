#!/usr/bin/env bash
# Runs the smoke tests inside a fresh test desktop three times in a row and checks after each run that the desktop
# left nothing behind: no process carrying its id, no folder, no stale X display lock.
# Usage: start-stop-three-times.sh DESKTOP_SCRIPT SMOKE_TEST_BINARY [ARG...]   (the arguments go to the binary)
# Exit 77 (skipped) when the desktop cannot start here; under CI (MURMELI_CI set) that is a failure, with the reason.
set -uo pipefail
desktop=$1
smoke=("${@:2}")
report=$(mktemp -d)
trap 'rm -rf "$report"' EXIT

fail() {
  echo "run $run: $*" >&2
  cat "$report/output" >&2
  exit 1
}

for run in 1 2 3; do
  began=${EPOCHREALTIME/./}
  status=0
  # shellcheck disable=SC2016 # expanded inside the desktop
  "$desktop" run -- bash -c 'printf "%s\n" "$MURMELI_DESKTOP_ID" "${XDG_RUNTIME_DIR%/run}" "${DISPLAY#:}" \
    "${MURMELI_TEST_DESKTOP:-}" >"$0" && exec "$@"' "$report/inside" "${smoke[@]}" >"$report/output" 2>&1 || status=$?
  if ((status == 69)); then
    [[ -z ${MURMELI_CI:-} ]] || fail "under CI the desktop must start: $(grep -m 1 'could not start' "$report/output")"
    echo "skipped: $(grep -m 1 'could not start' "$report/output")"
    exit 77
  fi
  ((status == 0)) || fail "the smoke tests failed (status $status)"
  grep -q '^\[  SKIPPED \]' "$report/output" && fail "smoke tests skipped inside the desktop"
  mapfile -t inside <"$report/inside"
  id=${inside[0]} state=${inside[1]} display=${inside[2]}
  [[ ${inside[3]} == 1 ]] || fail "MURMELI_TEST_DESKTOP was not set inside"

  left=$(grep -lzxF "MURMELI_DESKTOP_ID=$id" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3)
  [[ -z $left ]] || fail "still running: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
  [[ ! -e $state ]] || fail "$state was not removed"
  # A lock whose server is gone was left by ours; a live one belongs to a desktop that took the number since.
  lock=/tmp/.X$display-lock
  if [[ -e $lock ]] && ! kill -0 "$(tr -d ' ' <"$lock")" 2>/dev/null; then
    fail "$lock was left behind"
  fi
  echo "run $run: desktop $id on :$display started, passed the smoke tests and stopped in" \
    "$(((${EPOCHREALTIME/./} - began) / 1000)) ms"
done
