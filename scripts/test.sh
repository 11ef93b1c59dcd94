#!/usr/bin/env bash
# Sets up the machine, then builds and runs the whole test suite twice: the
# plain build, then the AddressSanitizer + UndefinedBehaviorSanitizer build.
# GL and widget tests run under Xvfb with Mesa's software renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

run_suite() {
  local dir="$1"; shift
  scripts/build.sh "$dir" "$@"
  (cd "$dir" && xvfb-run -a -s "-screen 0 1600x1200x24" ctest --output-on-failure -j "$(nproc)" | tee ctest.log)
}

echo "== plain build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build =="
# The software GL driver is unloaded at exit, before the leak check, which
# then cannot name (or suppress) what the driver left; loaded up front it
# stays, and tests/lsan.supp matches it by name.
swrast=$(ls /usr/lib/x86_64-linux-gnu/dri/swrast_dri.so 2>/dev/null || true)
if [ -n "$swrast" ]; then
  export LD_PRELOAD="$swrast" ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"
fi
run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DLUMO_SANITIZE=ON -DLUMO_BUILD_BENCH=OFF
echo "== summary =="
total=0; failed=0
for log in build/ctest.log build-sanitize/ctest.log; do
  line=$(grep -h 'tests passed, ' "$log" | tail -1)
  echo "$log: $line"
  t=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line"); f=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  total=$((total + t)); failed=$((failed + f))
done
echo "tests: $((total - failed)) passed, $failed failed"
