#!/usr/bin/env bash
# Cross-builds the Qt-free programs for Windows (build-win) and runs their
# tests under Wine in a private prefix (build-win/prefix):
#   1. every Windows test program, through ctest;
#   2. the serial engine on COM5, which Wine maps to a pseudo-terminal with
#      the Linux build's simulated DTU (quillmere-sim) on the other end;
#   3. that line closing while the engine waits: one loss report, and the
#      process's CPU time while it waits;
#   4. quillmere-cli.exe reading and writing the simulated DTU on COM5;
#   5. the native window (quillmere.exe's) driven by control id against a
#      fresh simulated DTU on COM7, and one on COM8 that goes away mid-session;
#   6. the installer, installed silently into the prefix, its files checked,
#      the portable zip's contents, and the uninstaller.
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
# Starts a program under Wine, again if Wine failed to start it at all.
wine_run=$root/tests/wine/wine-run.sh

export WINEPREFIX=$root/$win/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install .NET or a browser engine

# shellcheck source=scripts/wine-window.sh
. scripts/wine-window.sh

passed=0
sim_pid=
window_sims=()
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  for pid in "${window_sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  quill_wine_display_stop
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

# wineboot has once failed on a fresh clone with nothing to show for it: its
# output is kept, a failed start is tried again from an empty prefix, and the
# prefix counts as made when its registry is there.
make_prefix() {
  local log=$win/wineboot.log attempt
  for attempt in 1 2 3; do
    if wineboot -i </dev/null >"$log" 2>&1 && [ -f "$WINEPREFIX/system.reg" ]; then return 0; fi
    echo "wineboot failed (attempt $attempt); its output:" >&2
    tail -n 20 "$log" >&2
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then rm -rf "$WINEPREFIX"; fi
  done
  [ -f "$WINEPREFIX/system.reg" ]
}

start_wine() {
  # The window tests need a display, from before the first Wine program: the
  # prefix's desktop process takes the display it finds when it starts.
  quill_wine_display
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "=== making the Wine prefix"
    make_prefix
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
  # Chinese captions, and windows that close without waiting for a window manager.
  quill_wine_window_prefix
  # One window alone first: the desktop process is up before the tests start in parallel.
  wine "$win/tests/win/quill_win_tests.exe" --gtest_filter=LayoutTest.TheDialogIsSizedInTheTablesDialogUnits \
    </dev/null >/dev/null 2>&1
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
  local log=$win/line-loss.log status attempt
  # Streamed, so not through $wine_run: a start that printed nothing is tried again here.
  for attempt in 1 2 3; do
    set +e
    QUILLMERE_TEST_COM=$com LD_PRELOAD=$shim timeout 120 \
      wine "$win/tests/serial/serial_line_loss_test.exe" --gtest_brief=0 2>&1 |
      while IFS= read -r line; do
        echo "$line"
        case $line in *QUILLMERE-CLOSE-THE-LINE-NOW*) kill "$sim_pid" ;; esac
      done | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -eq 0 ] || [ -s "$log" ]; then break; fi
    echo "Wine did not start the line loss test (status $status, no output); starting it again" >&2
  done
  [ "$status" -eq 0 ] || { echo "line loss test failed ($status)" >&2; return 1; }
  sim_pid=
  passed=$((passed + $(grep -c '^\[       OK \]' "$log")))
}

# Starts quillmere-sim on a new pseudo-terminal mapped to COM$1; its pid in
# window_sims. The simulator's output stays open in a descriptor of ours.
start_window_simulator() {
  local fifo fd line pty
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  exec {fd}<>"$fifo"
  rm -f "$fifo"
  "$sim" >&"$fd" 2>&1 &
  window_sims+=($!)
  read -r -t 10 -u "$fd" line || { echo "quillmere-sim did not start" >&2; return 1; }
  pty=${line#Simulated DTU on }
  [ -c "$pty" ] || { echo "quillmere-sim: unexpected '$line'" >&2; return 1; }
  ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$1"
  echo "COM$1 -> $pty"
}

# Step 5: whole sessions through the window on COM ports; the cases on the
# built-in simulated DTU ran in step 1.
run_window_line_tests() {
  echo "=== the window on COM7 and COM8 under Wine, simulated DTUs on pseudo-terminals"
  start_window_simulator 7
  start_window_simulator 8
  local log=$win/window-line.log status
  set +e
  QUILLMERE_TEST_COM=7 QUILLMERE_TEST_UNPLUG_COM=8 QUILLMERE_TEST_UNPLUG_PID=${window_sims[-1]} LD_PRELOAD=$shim \
    timeout 300 "$wine_run" wine "$win/tests/win/quill_win_tests.exe" --gtest_filter='*/ComPort' </dev/null >"$log" 2>&1
  status=$?
  set -e
  cat "$log"
  [ "$status" -eq 0 ] || { echo "window line tests failed ($status)" >&2; return 1; }
  if grep -q '^\[  SKIPPED \]' "$log"; then echo "window line tests were skipped" >&2; return 1; fi
  passed=$((passed + $(grep -c '^\[       OK \]' "$log")))
}

# Step 6: the installer, silently, then its files, shortcut and uninstall entry.
run_installer() {
  echo "=== installer and portable zip"
  bash scripts/package-windows.sh "$win"
  local setup dir
  setup=$(ls "$win"/package/quillmere-*-setup.exe)
  dir=$WINEPREFIX/drive_c/QuillmereTest
  rm -rf "$dir"
  "$wine_run" wine "$setup" /S '/D=C:\QuillmereTest' </dev/null >/dev/null 2>&1
  local missing=0
  for file in quillmere.exe uninstall.exe $(cat "$win/package/extra-programs.txt"); do
    if [ -f "$dir/$file" ]; then echo "installed: $file"; else echo "missing: $file" >&2; missing=1; fi
  done
  if find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Quillmere.lnk' | grep -q .; then
    echo "installed: Start menu entry"
  else
    echo "missing: Start menu entry" >&2; missing=1
  fi
  if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere' </dev/null >/dev/null 2>&1; then
    echo "installed: uninstall entry"
  else
    echo "missing: uninstall entry" >&2; missing=1
  fi
  [ "$missing" -eq 0 ] || return 1
  passed=$((passed + 1))

  # The portable zip holds the same programs.
  local zipfile
  zipfile=$(ls "$win"/package/quillmere-*-win64.zip)
  for file in quillmere.exe $(cat "$win/package/extra-programs.txt"); do
    unzip -l "$zipfile" "$file" >/dev/null || { echo "missing in the zip: $file" >&2; return 1; }
  done
  echo "portable zip: $(unzip -Z1 "$zipfile" | tr '\n' ' ')"
  passed=$((passed + 1))

  # The uninstaller, waited for (_?= keeps it from copying itself away and
  # returning at once), from a batch file as Wine needs for that.
  local bat=$dir/uninstall-test.bat
  printf '"C:\\QuillmereTest\\uninstall.exe" /S _?=C:\\QuillmereTest\r\n' >"$bat"
  "$wine_run" wine cmd /c 'C:\QuillmereTest\uninstall-test.bat' </dev/null >/dev/null 2>&1
  if [ -e "$dir/quillmere.exe" ] ||
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere' </dev/null >/dev/null 2>&1 ||
    find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Quillmere.lnk' | grep -q .; then
    echo "the uninstaller left the program, its entry or its shortcut behind" >&2
    return 1
  fi
  echo "uninstalled: program, Start menu entry and uninstall entry gone"
  passed=$((passed + 1))
}

# Step 4: quillmere-cli.exe reads the simulated DTU on COM$com, writes a
# parameter file to it, and reads back what it stored.
run_cli_round_trip() {
  echo "=== quillmere-cli.exe read and write on COM$com"
  start_simulator
  local cli="$win/cli/quillmere-cli.exe" out=$win/cli-read.json file=$win/cli-write.json
  local start end
  start=$(date +%s%N)
  LD_PRELOAD=$shim timeout 120 "$wine_run" wine "$cli" read --port "COM$com" --json >"$out" </dev/null
  end=$(date +%s%N)
  grep -q '"stationName": "城东变电站"' "$out" || { echo "read: the simulator's station is missing" >&2; return 1; }
  echo "read: $(grep -c '": ' "$out") lines of JSON in $(( (end - start) / 1000000 )) ms (the wine start included)"
  passed=$((passed + 1))

  cat >"$file" <<'JSON'
{"format": "quillmere-parameters", "version": 1,
 "fields": {"stationName": "西郊站", "messageBody1Address": "1001"}}
JSON
  LD_PRELOAD=$shim timeout 120 "$wine_run" wine "$cli" write --port "COM$com" "$file" </dev/null
  LD_PRELOAD=$shim timeout 120 "$wine_run" wine "$cli" read --port "COM$com" --json >"$out" </dev/null
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
run_window_line_tests
run_installer
echo "windows: $passed passed, 0 failed"
