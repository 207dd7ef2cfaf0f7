#!/usr/bin/env bash
# Cross-builds the Qt-free programs for Windows (build-win) and runs their
# tests under Wine in a private prefix (build-win/prefix):
#   1. every Windows test program, through ctest;
#   2. the serial engine on COM5, which Wine maps to a pseudo-terminal with
#      the Linux build's simulated DTU (quillmere-sim) on the other end;
#   3. that line closing while the engine waits: one loss report, and the
#      process's CPU time while it waits.
# Each step is one function below; add a step by adding a function and a
# line at the end. The last line printed is "windows: N passed, 0 failed".
#
# The simulator comes from the Linux build in $QUILLMERE_LINUX_BUILD, else
# from build if it is configured, else from build-win/host (made here).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
win=build-win
com=5

export WINEPREFIX=$root/$win/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install .NET or a browser engine

passed=0
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# Adds the count of "N tests passed, 0 tests failed out of N" in a ctest log.
count_ctest() {
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$1")
  passed=$((passed + ${n:-0}))
}

build() {
  echo "=== $win (mingw-w64, for Windows)"
  cmake --no-warn-unused-cli -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUILLMERE_GUI=OFF \
    -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$win" -j"$jobs"

  linux=${QUILLMERE_LINUX_BUILD:-}
  if [ -z "$linux" ]; then
    if [ -f build/CMakeCache.txt ]; then linux=build; else linux=$win/host; fi
  fi
  if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" -DQUILLMERE_GUI=OFF -DBUILD_TESTING=OFF >/dev/null
  fi
  cmake --build "$linux" --target quillmere-sim -j"$jobs"
  case $linux in
    /*) sim=$linux/sim/quillmere-sim ;;
    *) sim=$root/$linux/sim/quillmere-sim ;;
  esac

  # Test-only: gives Wine's COM ports on pseudo-terminals modem lines.
  shim=$root/$win/pty_modem_shim.so
  cc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$shim" tests/wine/pty_modem_shim.c -ldl
}

start_wine() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "=== making the Wine prefix"
    wineboot -i </dev/null >/dev/null 2>&1
  fi
  # Our own server, kept for the whole run and detached from our pipes: any
  # other one (wineboot's, or one left from an earlier run) goes first, or a
  # later program would start a server on our pipe when that one ends.
  wineserver -k 2>/dev/null || true
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  # The prefix's own processes (services, device manager) start with the
  # first program and live with the server: start them here, away from any
  # pipe that ctest would then wait on.
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Step 1: every test program but those that need the simulated DTU.
run_tests() {
  echo "=== Windows tests under Wine"
  ctest --test-dir "$win" -LE wine-line --output-on-failure -j"$jobs" --timeout 300 | tee "$win/ctest.log"
  count_ctest "$win/ctest.log"
}

# Starts quillmere-sim on a new pseudo-terminal and maps COM$com to it.
start_simulator() {
  coproc SIM { exec "$sim"; }
  sim_pid=$SIM_PID
  local line pty
  read -r -t 10 line <&"${SIM[0]}" || { echo "quillmere-sim did not start" >&2; return 1; }
  pty=${line#Simulated DTU on }
  [ -c "$pty" ] || { echo "quillmere-sim: unexpected '$line'" >&2; return 1; }
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$com"
  echo "COM$com -> $pty"
}

# Step 2: the engine on the mapped port, one test at a time (one port).
run_line_tests() {
  echo "=== serial engine on COM$com under Wine, simulated DTU on a pseudo-terminal"
  start_simulator
  QUILLMERE_TEST_COM=$com LD_PRELOAD=$shim \
    ctest --test-dir "$win" -L wine-line --output-on-failure -j1 --timeout 120 | tee "$win/ctest-line.log"
  count_ctest "$win/ctest-line.log"
}

# Step 3: the simulator goes away while the engine waits on its line.
run_line_loss() {
  echo "=== the line closes mid-wait"
  local log=$win/line-loss.log status
  set +e
  QUILLMERE_TEST_COM=$com LD_PRELOAD=$shim timeout 120 \
    wine "$win/tests/serial/serial_line_loss_test.exe" --gtest_brief=0 2>&1 |
    while IFS= read -r line; do
      echo "$line"
      case $line in *QUILLMERE-CLOSE-THE-LINE-NOW*) kill "$sim_pid" ;; esac
    done | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  [ "$status" -eq 0 ] || { echo "line loss test failed ($status)" >&2; return 1; }
  sim_pid=
  passed=$((passed + $(grep -c '^\[       OK \]' "$log")))
}

# Step 4: quillmere-cli.exe reads the simulated DTU on COM$com, writes a
# parameter file to it, and reads back what it stored.
run_cli_round_trip() {
  echo "=== quillmere-cli.exe read and write on COM$com"
  start_simulator
  local cli="$win/cli/quillmere-cli.exe" out=$win/cli-read.json file=$win/cli-write.json
  local start end
  start=$(date +%s%N)
  LD_PRELOAD=$shim timeout 120 wine "$cli" read --port "COM$com" --json >"$out" </dev/null
  end=$(date +%s%N)
  grep -q '"stationName": "城东变电站"' "$out" || { echo "read: the simulator's station is missing" >&2; return 1; }
  echo "read: $(grep -c '": ' "$out") lines of JSON in $(( (end - start) / 1000000 )) ms (the wine start included)"
  passed=$((passed + 1))

  cat >"$file" <<'JSON'
{"format": "quillmere-parameters", "version": 1,
 "fields": {"stationName": "西郊站", "messageBody1Address": "1001"}}
JSON
  LD_PRELOAD=$shim timeout 120 wine "$cli" write --port "COM$com" "$file" </dev/null
  LD_PRELOAD=$shim timeout 120 wine "$cli" read --port "COM$com" --json >"$out" </dev/null
  grep -q '"stationName": "西郊站"' "$out" || { echo "write: the station did not take" >&2; return 1; }
  grep -q '"messageBody1Address": "1001"' "$out" || { echo "write: the address did not take" >&2; return 1; }
  passed=$((passed + 1))
  kill "$sim_pid" 2>/dev/null || true
  sim_pid=
}

build
start_wine
run_tests
run_line_tests
run_line_loss
run_cli_round_trip
echo "windows: $passed passed, 0 failed"
