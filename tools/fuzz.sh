#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, the whole core instrumented) in build-fuzz/ and runs each
# target for a while from its saved inputs, then prints executions, coverage and crashes.
#
#   tools/fuzz.sh [SECONDS] [TARGET ...]           default: 60 seconds, every target
#   tools/fuzz.sh --check [SECONDS] [TARGET ...]   default: 5 seconds (run by ./run-tests)
#   targets: reply hextext preset header answer version program dat firmware bootloader dump cli
#
# New inputs the fuzzer finds stay in build-fuzz/corpus-TARGET. A crash input is copied into
# tests/fuzz/corpus/TARGET/, which every test run replays: fix the fault, then commit the input.
#
# --check is the test run's: every target must build, take each of its saved inputs
# (tests/fuzz/corpus/TARGET/) without a finding, then fuzz for SECONDS without one; the first that
# does not ends the script with 1 (the input stays in build-fuzz/crashes-TARGET/, tests/ is left as
# it is). The last line counts the targets: "fuzz: N passed, N failed".
#
# A finding of the undefined-behaviour checks ends a run as a crash does (halt_on_error), so its
# input is kept too.
#
# Memory: a run stays near 100-250 MB. By default AddressSanitizer holds 256 MB of freed memory
# back (its quarantine), and records the allocation stack of every block with the fast unwinder,
# which walks into Qt's frames without frame pointers and so stores a new, partly garbage, stack
# almost every time: that store only grows (0.5-1 GB in 3 minutes). The run uses a 32 MB
# quarantine and no allocation stacks; replay a crash input with ASAN_OPTIONS= (the defaults)
# to see where its memory came from. A run that still passes 1 GB stops with a report.
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi
seconds=${1:-$([ $check -eq 1 ] && echo 5 || echo 60)}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reply hextext preset header answer version program dat firmware bootloader dump cli)

need=()
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
tools/install-deps.sh
if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNELO_FUZZ=ON
fi
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS-quarantine_size_mb=32:malloc_context_size=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS-print_stacktrace=1:halt_on_error=1}

if [ $check -eq 1 ]; then
  passed=0 failed=0
  for t in "${targets[@]}"; do
    work=build-fuzz/check-$t crashes=build-fuzz/crashes-$t log=build-fuzz/check-$t.log
    rm -rf "$work"
    mkdir -p "$work" "$crashes"
    saved=(tests/fuzz/corpus/"$t"/*)
    # Each saved input once, then fuzzing from them (new inputs go to the scratch folder).
    if build-fuzz/tests/fuzz_$t -timeout=10 -rss_limit_mb=1024 -artifact_prefix="$crashes/" "${saved[@]}" \
         </dev/null >"$log" 2>&1 &&
       build-fuzz/tests/fuzz_$t -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
         -artifact_prefix="$crashes/" "$work" "tests/fuzz/corpus/$t" </dev/null >>"$log" 2>&1; then
      execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
      echo "fuzz $t: ${#saved[@]} saved inputs and ${execs:-?} runs in ${seconds} s, no finding"
      passed=$((passed + 1))
    else
      echo "fuzz $t: FAILED (build-fuzz/check-$t.log, inputs in $crashes/):"
      grep -E 'ERROR|SUMMARY|runtime error|Running: ' "$log" | tail -n 8 | sed 's/^/  /'
      failed=$((failed + 1))
    fi
  done
  echo "fuzz: $passed passed, $failed failed"
  [ $failed -eq 0 ]
  exit
fi

printf '%-10s %12s %8s %8s %8s %8s\n' target executions cov ft crashes rss_mb
for t in "${targets[@]}"; do
  work=build-fuzz/corpus-$t crashes=build-fuzz/crashes-$t
  mkdir -p "$work" "$crashes"
  log=build-fuzz/fuzz-$t.log
  build-fuzz/tests/fuzz_$t -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$crashes/" \
    -timeout=10 -rss_limit_mb=1024 "$work" "tests/fuzz/corpus/$t" </dev/null >"$log" 2>&1 || true
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  ft=$(grep -o 'ft: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  rss=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  found=$(find "$crashes" -type f | wc -l)
  printf '%-10s %12s %8s %8s %8s %8s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$found" "${rss:-?}"
  for c in "$crashes"/*; do
    [ -f "$c" ] || continue
    cp "$c" "tests/fuzz/corpus/$t/$(basename "$c")"
    echo "  $t: $(basename "$c") copied to tests/fuzz/corpus/$t (see $log)"
  done
done
