#!/usr/bin/env bash
# The whole test suite under AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer:
# configures (once) and builds everything instrumented in build-asan/ with the compiler of the
# normal build, then runs every test there. A finding, in a test or in a program it started, is a
# failing test (tools/sanitized-test.sh); ctest's arguments may follow (tools/sanitize.sh -R cli).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
if [ ! -f build-asan/build.ninja ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNELO_SANITIZE=ON
fi
cmake --build build-asan --parallel "$(nproc)"
cd build-asan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
