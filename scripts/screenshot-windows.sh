#!/usr/bin/env bash
# Renders the native Windows window under Wine and Xvfb into a PNG:
#   bash scripts/screenshot-windows.sh                      # docs/window-windows.png, after reading the simulated DTU
#   bash scripts/screenshot-windows.sh out.png start        # the window as it starts
#   bash scripts/screenshot-windows.sh docs/window-terminal-windows.png terminal   # the terminal band in use
# Uses the cross build in build-win (made if missing) and its Wine prefix
# build-win/prefix; Chinese is drawn with "WenQuanYi Zen Hei Sharp"
# (fonts-wqy-zenhei) in place of the dialog font.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-docs/window-windows.png}
mode=${2:-read}
build=build-win

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUILLMERE_GUI=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target quillmere-screenshot -j"$(nproc)"

export WINEPREFIX=$root/$build/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# shellcheck source=scripts/wine-window.sh
. scripts/wine-window.sh

app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  quill_wine_display_stop
}
trap cleanup EXIT

unset DISPLAY
quill_wine_display
if [ ! -f "$WINEPREFIX/system.reg" ]; then wineboot -i </dev/null >/dev/null 2>&1; fi
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
quill_wine_window_prefix

fifo=$(mktemp -u)
mkfifo "$fifo"
exec {fd}<>"$fifo"
rm -f "$fifo"
case $mode in read | terminal) arg=$mode ;; *) arg= ;; esac
wine "$build/win/quillmere-screenshot.exe" $arg </dev/null >&"$fd" 2>/dev/null &
app_pid=$!
read -r -t 60 -u "$fd" word x y w h || { echo "the window did not show" >&2; exit 1; }
[ "$word" = ready ] || { echo "unexpected: $word" >&2; exit 1; }
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "$out: ${w}x${h}"
