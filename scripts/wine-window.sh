# Sourced by the scripts that show the Windows window under Wine (the test
# script and the picture): a display, and a prefix in which Chinese renders.
#   quill_wine_display   starts Xvfb on a free display unless DISPLAY is set
#   quill_wine_window_prefix   font substitutes and unmanaged windows, once per prefix
# Needs WINEPREFIX set and the wine server running.

quill_xvfb_pid=

quill_wine_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local fifo number
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  # Xvfb picks a free display and writes its number to fd 3.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  quill_xvfb_pid=$!
  read -r -t 20 number <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=:$number
}

quill_wine_display_stop() {
  if [ -n "$quill_xvfb_pid" ]; then kill "$quill_xvfb_pid" 2>/dev/null || true; fi
  quill_xvfb_pid=
}

quill_wine_window_prefix() {
  # The dialog font "宋体" and the system's dialog fonts drawn with a face that
  # has Chinese shapes; the "Sharp" face renders cleanly at 12 px.
  local reg
  reg=$(mktemp --suffix=.reg)
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
    '"宋体"="WenQuanYi Zen Hei Sharp"' \
    '"SimSun"="WenQuanYi Zen Hei Sharp"' \
    '"MS Shell Dlg"="WenQuanYi Zen Hei Sharp"' \
    '"MS Shell Dlg 2"="WenQuanYi Zen Hei Sharp"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
    '"Managed"="N"' '' | iconv -f UTF-8 -t UTF-16 >"$reg"
  # Without a window manager, a managed window waits two seconds for one at
  # every close; unmanaged windows close at once.
  wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
  rm -f "$reg"
}
