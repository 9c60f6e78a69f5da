#!/usr/bin/env bash
# Runs one test of the sanitizer suite (build-asan/, tools/sanitize.sh) so that a finding fails
# it, wherever it was made: in the test itself or in a program it started (the tool, the
# simulated pedal, the editor), whatever that program's exit code was taken to mean.
#
#   tools/sanitized-test.sh REPORTS_DIR PROGRAM [ARGUMENT ...]
#
# Every sanitizer report of the test and its programs is written into REPORTS_DIR (emptied
# first); the test fails when any was written, and the reports are printed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
reports=$1
shift
rm -rf "$reports"
mkdir -p "$reports"

# A finding ends the program at once (an abort, which no test takes for an answer); leaks are
# findings too. The suppressions name third-party frames only.
# Options already set come after these (and may add to them); the report files come last.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}:log_path=$reports/ubsan"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

"$@"
code=$?

shopt -s nullglob
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
  for f in "${found[@]}"; do
    echo "=== sanitizer report $(basename "$f") ==="
    cat "$f"
  done
  echo "FAIL: ${#found[@]} sanitizer report(s) from this test or a program it started (above; kept in $reports)"
  [ $code -ne 0 ] || code=1
fi
exit $code
