#!/usr/bin/env bash
# Renders the native Windows window under Wine and Xvfb into a PNG:
#   bash scripts/screenshot-windows.sh                      # docs/window-windows.png, after reading the simulated DTU
#   bash scripts/screenshot-windows.sh out.png start        # the window as it starts
#   bash scripts/screenshot-windows.sh docs/window-terminal-windows.png terminal   # the terminal band in use
#   bash scripts/screenshot-windows.sh docs/window-search-windows.png search       # 自动查找DTU found a DTU on COM7
#   bash scripts/screenshot-windows.sh out.png check        # the information area after 与参数文件核对…
#   bash scripts/screenshot-windows.sh docs/window-history-windows.png history     # the 写入历史记录 dialog
#     (the search needs the Linux build's quillmere-sim: build/sim, made if missing)
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
sim_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
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
args=()
case $mode in
  read | terminal | check | history) args=("$mode") ;;
  search)
    # A simulated DTU on a pseudo-terminal behind COM7.
    if [ ! -f build/CMakeCache.txt ]; then cmake -S . -B build -DQUILLMERE_GUI=OFF -DBUILD_TESTING=OFF >/dev/null; fi
    cmake --build build --target quillmere-sim -j"$(nproc)" >/dev/null
    simfifo=$(mktemp -u)
    mkfifo "$simfifo"
    exec {simfd}<>"$simfifo"
    rm -f "$simfifo"
    build/sim/quillmere-sim >&"$simfd" 2>&1 &
    sim_pid=$!
    read -r -t 10 -u "$simfd" line || { echo "quillmere-sim did not start" >&2; exit 1; }
    ln -sfn "${line#Simulated DTU on }" "$WINEPREFIX/dosdevices/com7"
    # Gives Wine's COM port on a pseudo-terminal the modem lines it asks for.
    shim=$root/$build/pty_modem_shim.so
    cc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$shim" tests/wine/pty_modem_shim.c -ldl
    export LD_PRELOAD=$shim
    args=(search COM7)
    ;;
esac
wine "$build/win/quillmere-screenshot.exe" "${args[@]}" </dev/null >&"$fd" 2>/dev/null &
app_pid=$!
read -r -t 60 -u "$fd" word x y w h || { echo "the window did not show" >&2; exit 1; }
[ "$word" = ready ] || { echo "unexpected: $word" >&2; exit 1; }
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "$out: ${w}x${h}"
