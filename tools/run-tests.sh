#!/usr/bin/env bash
# Builds and runs every test: the normal build with warnings as errors, the
# ThreadSanitizer build of the code that runs workers, then the
# AddressSanitizer/UndefinedBehaviorSanitizer build. Exits non-zero when
# anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
export QT_QPA_PLATFORM=offscreen
export CCACHE_DIR=${CCACHE_DIR:-$PWD/.cache/ccache}

step() { printf '\n==== %s\n' "$*"; }

step "build (warnings as errors)"
cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLARO_WERROR=ON >/dev/null
cmake --build build-ci -j"$jobs"
step "tests"
ctest --test-dir build-ci --output-on-failure -j"$jobs" --timeout 300

step "ThreadSanitizer build (protocol, flash, command line)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DPELLARO_WERROR=ON -DPELLARO_TSAN=ON \
  -DPELLARO_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target test_protocol test_flash test_cli test_cli_e2e
step "threaded tests under TSan"
for t in build-tsan/tests/protocol/test_protocol build-tsan/tests/flash/test_flash \
         build-tsan/tests/cli/test_cli build-tsan/tests/cli/test_cli_e2e; do
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$t" --gtest_brief=1
done

step "AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELLARO_WERROR=ON -DPELLARO_ASAN=ON >/dev/null
cmake --build build-asan -j"$jobs"
step "tests under ASan/UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 600
