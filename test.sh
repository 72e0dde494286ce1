#!/usr/bin/env bash
# ./test.sh: installs what is missing, builds, and runs every test: all tests in
# the normal build, the unit tests again under AddressSanitizer and UBSan.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/scripts/deps.sh"
jobs=$(nproc)

"$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The sanitizer build (only the unit tests and what they link) compiles at the
# lowest priority while the normal build's tests run: those mostly wait on the
# clock and on servers, and take the processor first whenever they need it.
asan_log=$(mktemp)
LUMETRA_BUILD_TARGET=unit_tests nice -n 19 "$here/scripts/build.sh" "$here/build-asan" \
  -DCMAKE_BUILD_TYPE=Debug -DLUMETRA_SANITIZE=ON -DLUMETRA_BENCH=OFF >"$asan_log" 2>&1 &
asan_build=$!
trap 'kill $asan_build 2>/dev/null || true; rm -f "$asan_log"' EXIT

(cd "$here/build" && ctest --output-on-failure -j"$jobs" -L unit --timeout 600)
# End-to-end tests mostly wait on real time and real servers (each with its own
# ports, sound server and display), so twice as many run as there are cores.
# A run that lost the race with the clock is tried once more.
(cd "$here/build" && ctest --output-on-failure -L e2e -j$((jobs * 2)) --timeout 600 --repeat until-pass:2)

if ! wait "$asan_build"; then
  cat "$asan_log"
  exit 1
fi
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions="$here/tests/lsan.supp" \
  ctest --output-on-failure -j"$jobs" -L unit --timeout 600)
echo "all tests passed"
