#!/usr/bin/env bash
# Builds and runs the whole test suite in every configuration that CI checks,
# checks the Debian package, runs the Windows build's tests under Wine, and
# fuzzes the protocol for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

passed=0
run() {  # run DIR CMAKE-ARGS...
  local dir=$1; shift
  echo "=== $dir $* (at ${SECONDS}s)"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 300 | tee "$dir/ctest.log"
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log")))
}

run build
# Exclusive open, and the refusals of file permissions, must hold for an
# unprivileged user as well as for root.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  echo "=== serial tests as an unprivileged user"
  # A copy, since the checkout's folders need not be open to other users.
  copy=$(mktemp -d); chmod 755 "$copy"; cp build/tests/serial/serial_tests build/tests/form/form_disk_tests "$copy/"
  (cd "$copy" && setpriv --reuid=nobody --regid=nogroup --clear-groups ./serial_tests --gtest_brief=1)
  # Unreadable parameter files and read-only folders stop only an unprivileged user.
  echo "=== parameter file tests as an unprivileged user"
  (cd "$copy" && setpriv --reuid=nobody --regid=nogroup --clear-groups ./form_disk_tests --gtest_brief=1 \
     --gtest_filter='ParameterFileOnDisk.*')
  rm -rf "$copy"
fi
bash scripts/package.sh build
run build-asan -DQUILLMERE_SANITIZE=address,undefined
run build-tsan -DQUILLMERE_SANITIZE=thread -DQUILLMERE_GUI=OFF

# The Qt-free programs built for Windows and tested under Wine, the serial
# engine against the simulator of the plain build.
mkdir -p build-win
QUILLMERE_LINUX_BUILD=build bash scripts/test-windows.sh | tee build-win/test-windows.log
windows=$(sed -n 's/^windows: \([0-9]*\) passed, 0 failed$/\1/p' build-win/test-windows.log)
passed=$((passed + windows))

# Fuzz the protocol, the parameter files and the session core for a bounded time; any finding fails.
echo "=== fuzz (at ${SECONDS}s)"
bash scripts/fuzz.sh "${QUILLMERE_FUZZ_SECONDS:-30}"

echo "=== done (at ${SECONDS}s)"
echo "all configurations: $passed passed, 0 failed (Windows: $windows passed)"
